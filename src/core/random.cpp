#include "core/random.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<bool> lf_fixedSeeds{false};
std::atomic<std::uint32_t> lf_nextSeed{0};

std::uint32_t lf_newSeed()
{
    if (lf_fixedSeeds.load()) return lf_nextSeed.fetch_add(1);
    std::random_device device;
    return device();
}

}  // namespace

std::mt19937& tlRandomEngine()
{
    thread_local std::mt19937 engine{lf_newSeed()};
    return engine;
}

void seedRandomEngine(std::uint32_t seed) { tlRandomEngine().seed(seed); }

void setRandomSeedBase(std::optional<std::uint32_t> base)
{
    if (base) lf_nextSeed.store(*base);
    lf_fixedSeeds.store(base.has_value());
}

void gf_shuffle(std::vector<std::string>& v)
{
    if (v.size() < 2) return;
    std::shuffle(v.begin(), v.end(), tlRandomEngine());
}

double gf_randomVariation(double v, double pct)
{
    if (!(pct > 0)) return v;
    const double delta = v * pct / 100.0;
    return tlRandomEngine()() % 2 != 0 ? v - delta : v + delta;
}
