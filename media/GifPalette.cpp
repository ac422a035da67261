// The GIF writer's palette: the picture's colours gathered into cells of a
// coarse histogram, split into boxes of least squared error (a median cut
// by variance), then moved by rounds of Lloyd's algorithm (k-means) over
// the cells.
#include "GifPalette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace media::av {
namespace {

using Colour = std::array<float, 3>;  // red, green, blue; 1.0 full

float distance(const Colour& a, const Colour& b) {
    const float dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
    return dr * dr + dg * dg + db * db;
}

// The picture's distinct colours (0xRRGGBB), or nothing when it has more
// than `limit`. Pictures of many colours give up within their first rows.
std::optional<std::vector<uint32_t>> fewColours(const ImageLib::Surface<ImageLib::Pixel8>& bytes, uint32_t limit) {
    constexpr uint32_t kEmpty = ~0u, kSlots = 1024;  // a power of two above twice 256
    std::array<uint32_t, kSlots> table;
    table.fill(kEmpty);
    std::vector<uint32_t> found;
    uint32_t last = kEmpty;
    for (uint32_t y = 0; y < bytes.height; ++y) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.row(y));
        for (uint32_t x = 0; x < bytes.width; ++x, p += 4) {
            const uint32_t rgb = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            if (rgb == last) continue;
            last = rgb;
            uint32_t slot = (rgb * 2654435761u) >> 22;
            while (table[slot] != kEmpty && table[slot] != rgb) slot = (slot + 1) & (kSlots - 1);
            if (table[slot] == rgb) continue;
            if (found.size() == limit) return std::nullopt;
            table[slot] = rgb;
            found.push_back(rgb);
        }
    }
    return found;
}

// The histogram: pixels whose channels share their top kCellBits bits fall
// in one cell, which keeps their mean colour and count. Few enough cells
// for the rounds below, fine enough that a cell's colours lie within a few
// 255ths of their mean.
constexpr int kCellBits = 6;
constexpr uint32_t kCellSteps = 1u << kCellBits;
struct Cell {
    Colour mean;
    double weight;                 // pixels
    std::array<uint8_t, 3> place;  // the cell along each channel, 0..kCellSteps-1
};

// The occupied cells, in the order of their places. Each cell adds up its
// pixels' places within it (0..3 per channel) in 32 bits, which holds
// 2^30 pixels: a larger picture gives every other row, or fewer.
std::vector<Cell> histogram(const ImageLib::Surface<ImageLib::Pixel8>& bytes) {
    constexpr int kShift = 8 - kCellBits;
    constexpr uint32_t kWithin = (1u << kShift) - 1;
    struct Sum {
        uint32_t count, red, green, blue;
    };
    std::vector<Sum> sums(size_t(1) << (3 * kCellBits));
    const uint64_t pixels = uint64_t(bytes.width) * bytes.height;
    const uint32_t step = uint32_t(pixels >> 30) + 1;
    for (uint32_t y = 0; y < bytes.height; y += step) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.row(y));
        for (uint32_t x = 0; x < bytes.width; ++x, p += 4) {
            Sum& s = sums[(p[0] >> kShift) << (2 * kCellBits) | (p[1] >> kShift) << kCellBits | p[2] >> kShift];
            ++s.count, s.red += p[0] & kWithin, s.green += p[1] & kWithin, s.blue += p[2] & kWithin;
        }
    }
    std::vector<Cell> cells;
    for (uint32_t key = 0; key < sums.size(); ++key)
        if (const Sum& s = sums[key]; s.count) {
            const std::array<uint8_t, 3> place{uint8_t(key >> (2 * kCellBits)),
                                               uint8_t(key >> kCellBits & (kCellSteps - 1)),
                                               uint8_t(key & (kCellSteps - 1))};
            const uint32_t within[3] = {s.red, s.green, s.blue};
            Cell c{{}, double(s.count), place};
            for (int k = 0; k < 3; ++k) c.mean[k] = float(((place[k] << kShift) + double(within[k]) / s.count) / 255);
            cells.push_back(c);
        }
    return cells;
}

// At most `limit` colours: the cells split into boxes, each time the box of
// the largest squared error, along the channel in which it spreads most,
// between the two places that leave the two halves the least error; each
// box gives the mean of its cells. Reorders `cells`.
std::vector<Colour> splitPalette(std::vector<Cell>& cells, uint32_t limit) {
    struct Box {
        size_t begin, end;
        Colour mean;
        std::array<double, 3> error;  // per channel, about the mean, weighted
        double total() const { return error[0] + error[1] + error[2]; }
    };
    auto describe = [&cells](size_t begin, size_t end) {
        double w = 0;
        std::array<double, 3> sum{}, squares{};
        for (size_t i = begin; i < end; ++i) {
            const Cell& c = cells[i];
            w += c.weight;
            for (int k = 0; k < 3; ++k)
                sum[k] += c.mean[k] * c.weight, squares[k] += double(c.mean[k]) * c.mean[k] * c.weight;
        }
        Box b{begin, end, {}, {}};
        for (int k = 0; k < 3; ++k)
            b.mean[k] = float(sum[k] / w), b.error[k] = std::max(0.0, squares[k] - sum[k] * sum[k] / w);
        return b;
    };
    std::vector<Box> boxes;
    boxes.reserve(limit);
    if (!cells.empty()) boxes.push_back(describe(0, cells.size()));
    while (!boxes.empty() && boxes.size() < limit) {
        Box& b = *std::max_element(boxes.begin(), boxes.end(),
                                   [](const Box& x, const Box& y) { return x.total() < y.total(); });
        if (b.total() <= 0) break;
        const int k = int(std::max_element(b.error.begin(), b.error.end()) - b.error.begin());
        // Two halves of a box keep the least error where the box's weighted
        // sum of squared means of the halves is largest.
        std::array<double, kCellSteps> weight{}, sum{};
        for (size_t i = b.begin; i < b.end; ++i) {
            const Cell& c = cells[i];
            weight[c.place[k]] += c.weight, sum[c.place[k]] += c.mean[k] * c.weight;
        }
        double allWeight = 0, allSum = 0;
        for (uint32_t p = 0; p < kCellSteps; ++p) allWeight += weight[p], allSum += sum[p];
        double w = 0, s = 0, best = -1;
        uint32_t cut = 0;
        for (uint32_t p = 0; p + 1 < kCellSteps; ++p) {
            w += weight[p], s += sum[p];
            if (w == 0 || w == allWeight) continue;  // whole counts: exact
            const double between = s * s / w + (allSum - s) * (allSum - s) / (allWeight - w);
            if (between > best) best = between, cut = p + 1;
        }
        if (best < 0) {  // one place along that channel: its spread there is within a cell
            b.error[k] = 0;
            continue;
        }
        const size_t begin = b.begin, end = b.end;
        const size_t middle = size_t(std::partition(cells.begin() + begin, cells.begin() + end,
                                                    [&](const Cell& c) { return c.place[k] < cut; }) -
                                     cells.begin());
        b = describe(begin, middle);
        boxes.push_back(describe(middle, end));
    }
    std::vector<Colour> colours;
    for (const Box& b : boxes) colours.push_back(b.mean);
    return colours;
}

// The direction in which the cells spread most (a unit vector): a few
// steps of power iteration on their weighted covariance.
Colour principalAxis(const std::vector<Cell>& cells) {
    double w = 0;
    std::array<double, 3> mean{};
    for (const Cell& c : cells) {
        w += c.weight;
        for (int k = 0; k < 3; ++k) mean[k] += c.mean[k] * c.weight;
    }
    for (double& m : mean) m /= w;
    std::array<std::array<double, 3>, 3> cov{};
    for (const Cell& c : cells)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) cov[i][j] += (c.mean[i] - mean[i]) * (c.mean[j] - mean[j]) * c.weight;
    std::array<double, 3> v{1, 1, 1};
    for (int step = 0; step < 16; ++step) {
        std::array<double, 3> next{};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) next[i] += cov[i][j] * v[j];
        const double length = std::sqrt(next[0] * next[0] + next[1] * next[1] + next[2] * next[2]);
        if (!(length > 0)) break;
        for (int i = 0; i < 3; ++i) v[i] = next[i] / length;
    }
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return {float(v[0] / length), float(v[1] / length), float(v[2] / length)};
}

// Nearest of a set of colours: they are searched in the order of their
// projections on a unit vector, outward from the colour's own, and two
// colours whose projections lie d apart are at least d apart.
class Nearest {
public:
    Nearest(const std::vector<Colour>& colours, const Colour& axis) : colours(colours), axis(axis) {
        order.reserve(colours.size());
        for (uint32_t i = 0; i < colours.size(); ++i) order.push_back({project(colours[i]), i});
        std::sort(order.begin(), order.end());
    }
    // The index of the nearest colour (the lowest of equally near ones),
    // searched with `guess`'s distance as the first bound.
    uint32_t operator()(const Colour& c, uint32_t guess) const {
        uint32_t best = guess;
        float bestDistance = distance(colours[guess], c);
        const float at = project(c);
        const size_t start = size_t(std::lower_bound(order.begin(), order.end(), std::pair{at, 0u}) - order.begin());
        auto visit = [&](size_t n) {
            const auto [projection, i] = order[n];
            if ((projection - at) * (projection - at) > bestDistance) return false;
            const float d = distance(colours[i], c);
            if (d < bestDistance || (d == bestDistance && i < best)) best = i, bestDistance = d;
            return true;
        };
        for (size_t up = start, down = start; up < order.size() || down > 0;) {
            if (up < order.size() && !visit(up++)) up = order.size();
            if (down > 0 && !visit(--down)) down = 0;
        }
        return best;
    }

private:
    float project(const Colour& c) const { return c[0] * axis[0] + c[1] * axis[1] + c[2] * axis[2]; }
    const std::vector<Colour>& colours;
    Colour axis;
    std::vector<std::pair<float, uint32_t>> order;
};

// Lloyd's rounds: each colour moves to the mean of the cells nearest to it,
// which lowers the squared error of the cells against the palette. A colour
// no cell chose, and each place free below `limit`, takes the mean of the
// cell that is worst off. The split palette is close to settled: a few
// rounds take most of what more would (4 gave 39.99 dB on a photograph
// where 12 gave 40.01).
void refine(std::vector<Colour>& colours, const std::vector<Cell>& cells, uint32_t limit) {
    constexpr int kRounds = 4;
    const Colour axis = principalAxis(cells);
    std::vector<uint32_t> chosen(cells.size(), 0);
    std::vector<float> error(cells.size());  // weighted, against the colour chosen
    for (int round = 0; round < kRounds && !colours.empty(); ++round) {
        const Nearest nearest(colours, axis);
        std::vector<std::array<double, 4>> sums(colours.size());  // weighted red, green, blue; weight
        bool moved = round == 0;
        for (uint32_t i = 0; i < cells.size(); ++i) {
            const Cell& c = cells[i];
            const uint32_t k = nearest(c.mean, chosen[i]);
            moved |= k != chosen[i];
            chosen[i] = k;
            for (int j = 0; j < 3; ++j) sums[k][j] += c.mean[j] * c.weight;
            sums[k][3] += c.weight;
            error[i] = float(distance(colours[k], c.mean) * c.weight);
        }
        if (!moved) break;
        std::vector<uint32_t> unused;
        for (uint32_t k = 0; k < colours.size(); ++k)
            if (sums[k][3] > 0)
                for (int j = 0; j < 3; ++j) colours[k][j] = float(sums[k][j] / sums[k][3]);
            else unused.push_back(k);
        const size_t free = unused.size() + limit - colours.size();
        if (free == 0) continue;
        std::vector<uint32_t> worst;
        for (uint32_t i = 0; i < cells.size(); ++i)
            if (error[i] > 0) worst.push_back(i);
        const size_t places = std::min(free, worst.size());
        std::partial_sort(worst.begin(), worst.begin() + places, worst.end(), [&](uint32_t a, uint32_t b) {
            return error[a] > error[b] || (error[a] == error[b] && a < b);
        });
        for (size_t j = 0; j < places; ++j) {
            if (j < unused.size()) colours[unused[j]] = cells[worst[j]].mean;
            else colours.push_back(cells[worst[j]].mean);
        }
    }
}

}  // namespace

GifPalette gifPalette(const ImageLib::Surface<ImageLib::Pixel8>& bytes, uint32_t limit) {
    GifPalette palette;
    std::vector<uint32_t> rgb;
    if (std::optional<std::vector<uint32_t>> own = fewColours(bytes, limit)) {
        palette.exact = true;
        rgb = std::move(*own);
    } else {
        std::vector<Cell> cells = histogram(bytes);
        std::vector<Colour> colours = splitPalette(cells, limit);
        refine(colours, cells, limit);
        auto byte = [](float v) { return uint32_t(std::lrint(std::clamp(v, 0.0f, 1.0f) * 255)); };
        for (const Colour& c : colours) rgb.push_back(byte(c[0]) << 16 | byte(c[1]) << 8 | byte(c[2]));
    }
    std::sort(rgb.begin(), rgb.end());
    rgb.erase(std::unique(rgb.begin(), rgb.end()), rgb.end());
    for (uint32_t c : rgb)
        palette.entries.push_back({1.0f, (c >> 16) / 255.0f, (c >> 8 & 0xff) / 255.0f, (c & 0xff) / 255.0f});
    return palette;
}

}  // namespace media::av
