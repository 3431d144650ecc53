#include "core/xml_text.h"

namespace {

class StringXmlWriter final : public pugi::xml_writer {
public:
    explicit StringXmlWriter(std::string& out) : out_(out) {}
    void write(const void* data, std::size_t size) override { out_.append(static_cast<const char*>(data), size); }

private:
    std::string& out_;
};

}  // namespace

void gf_appendXmlAttribute(std::string& out, std::string_view name, std::string_view value)
{
    value = value.substr(0, value.find('\0'));
    out += ' ';
    out += name;
    out += "=\"";
    std::size_t plain = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        const char* entity = nullptr;
        switch (c) {
        case '&': entity = "&amp;"; break;
        case '<': entity = "&lt;"; break;
        case '"': entity = "&quot;"; break;
        default:
            if (c >= 32) continue;
        }
        out.append(value.data() + plain, i - plain);
        plain = i + 1;
        if (entity != nullptr) {
            out += entity;
        } else {
            const char code[] = {'&', '#', static_cast<char>('0' + c / 10), static_cast<char>('0' + c % 10), ';'};
            out.append(code, sizeof code);
        }
    }
    out.append(value.data() + plain, value.size() - plain);
    out += '"';
}

void gf_appendXmlDocument(std::string& out, const pugi::xml_document& doc)
{
    StringXmlWriter writer(out);
    doc.save(writer);
}
