// The QNH taken from a weather answer's "data".

#include <gtest/gtest.h>

#include "support/recording_handover.h"
#include "traffic_service/weather.h"

using nlohmann::json;

TEST(ExtractQnh, ValuesOfEveryKind)
{
    struct Row {
        json data;
        int qnh;
        const char* marked;  // a marked line that must be logged, or nullptr
    };
    const std::vector<Row> rows = {
        {{{"QNH", 1013}}, 1013, nullptr},
        {{{"QNH", 1012.6}}, 1013, nullptr},
        {{{"QNH", 1012.5}}, 1013, nullptr},  // halves away from zero
        {{{"QNH", 2992}}, 1013, nullptr},    // hundredths of inHg
        {{{"QNH", 3010}}, 1019, nullptr},
        {{{"QNH", 1080}}, 1080, nullptr},
        {{{"QNH", 1081}}, 366, nullptr},
        {{{"QNH", "1009"}}, 1009, nullptr},
        {{{"QNH", "1009.8"}}, 1009, nullptr},
        {{{"QNH", "-5"}}, -5, nullptr},
        {{{"QNH", "Q1009"}}, 1013, "extractQNH: Q1009"},
        {{{"QNH", "99999999999"}}, 1013, "extractQNH: 99999999999"},
        {{{"QNH", 925}}, 925, nullptr},
        {{{"qnh", 1000}}, 1013, "No QNH found in data"},
        {json(), 1013, "No QNH found in data"},
        {json::array({1000}), 1013, "No QNH found in data"},
        {{{"QNH", true}}, 1013, "No QNH found in data"},
        {{{"QNH", nullptr}}, 1013, "No QNH found in data"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.data.dump());
        RecordingHandover fake;
        fake.install();
        EXPECT_EQ(extractQNH(row.data), row.qnh);
        if (row.marked) {
            EXPECT_EQ(fake.markedLines(), std::vector<std::string>{row.marked});
        } else {
            EXPECT_TRUE(fake.markedLines().empty());
        }
    }
}

TEST(ExtractQnh, ValuesBeyondThirtyTwoBitsRaiseANarrowingError)
{
    RecordingHandover fake;
    fake.install();
    EXPECT_ANY_THROW(extractQNH(json{{"QNH", 1e12}}));
    EXPECT_ANY_THROW(extractQNH(json{{"QNH", 99999999999LL}}));
    EXPECT_ANY_THROW(extractQNH(json{{"QNH", 1e300}}));  // beyond single precision
    EXPECT_ANY_THROW(extractQNH(json{{"QNH", -1e300}}));
}
