// The real chart collection through the whole core: every chart loads by path, and
// re-timing a SUS chart under its own tempo and bar-length events gives back its bar
// positions (within the denominator limit of the bar-at-time computation).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <tuple>
#include <vector>

#include "drawing/render.h"
#include "rebase/rebase.h"
#include "score/load.h"

namespace qs {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> charts(const char* sub, const char* extension) {
    std::vector<fs::path> out;
    const fs::path dir = fs::path(QS_SHARED_DIR) / "charts" / sub;
    if (!fs::is_directory(dir)) return out;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == extension) out.push_back(entry.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

using Placed = std::tuple<double, std::int32_t, std::int32_t, std::int32_t>;

std::vector<Placed> active_positions(const Score& s) {
    std::vector<Placed> out;
    for (NoteIndex i : s.active_notes) {
        const Note& n = s.notes[i];
        out.emplace_back(to_float(bar(n)), lane(n), width(n), note_type(n));
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Charts, EveryChartLoadsAndRenders) {
    auto files = charts("sus", ".sus");
    auto json = charts("json", ".json");
    files.insert(files.end(), json.begin(), json.end());
    if (files.empty()) GTEST_SKIP() << "shared charts folder not present";
    for (const fs::path& p : files) {
        SCOPED_TRACE(p.filename().string());
        auto loaded = open_score(p.string());
        ASSERT_TRUE(loaded.ok()) << loaded.error().text();
        Score& score = loaded.value();
        DrawingOptions options = build_options(OptionInputs{});
        std::string svg = render_svg(options, score, nullptr);
        std::cout << p.filename().string() << ": " << score.active_notes.size() << " notes, "
                  << score.events.size() << " events, " << svg.size() << " bytes of SVG\n";
        EXPECT_EQ(svg.rfind("<svg ", 0), 0u);
        EXPECT_TRUE(svg.ends_with("</svg>"));
    }
}

TEST(Charts, RetimingUnderOwnTimingKeepsBars) {
    auto files = charts("sus", ".sus");
    if (files.empty()) GTEST_SKIP() << "shared charts folder not present";
    std::size_t checked = 0;
    for (const fs::path& p : files) {
        SCOPED_TRACE(p.filename().string());
        auto loaded = open_score(p.string());
        ASSERT_TRUE(loaded.ok());
        Score& source = loaded.value();
        Rebase rebase;
        bool monotonic = true;
        for (const Event& e : source.events) {
            // Time runs backwards under a negative tempo; seconds then name no single bar.
            if ((e.bpm && *e.bpm < Fraction()) || (e.bar_length && *e.bar_length < Fraction())) monotonic = false;
            if (!e.bpm && !e.bar_length) continue;
            Event timing;
            timing.bar = e.bar;
            timing.bpm = e.bpm;
            timing.bar_length = e.bar_length;
            rebase.events.push_back(timing);
        }
        // The bar-at-time computation takes the first event to be at time 0.
        if (!monotonic || (!rebase.events.empty() && rebase.events.front().bar != Fraction())) continue;
        ++checked;
        Score result = apply_rebase(rebase, source);
        auto before = active_positions(source);
        auto after = active_positions(result);
        ASSERT_EQ(before.size(), after.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            ASSERT_NEAR(std::get<0>(before[i]), std::get<0>(after[i]), 1e-5) << "note " << i;
            ASSERT_EQ(std::get<1>(before[i]), std::get<1>(after[i])) << "note " << i;
            ASSERT_EQ(std::get<2>(before[i]), std::get<2>(after[i])) << "note " << i;
        }
    }
    EXPECT_GE(checked, 20u);
}

}  // namespace
}  // namespace qs
