#include "import/convert.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

#include "import/import_error.h"
#include "mapio/map_model.h"

namespace tivarel {
namespace {

// An axis-aligned box in the Cartesian frame of the orthogonalisation.
struct Region {
    Vec3d low{INFINITY, INFINITY, INFINITY}, high{-INFINITY, -INFINITY, -INFINITY};
    void add(const Vec3d& p) {
        for (size_t a = 0; a < 3; ++a) {
            low[a] = std::min(low[a], p[a]);
            high[a] = std::max(high[a], p[a]);
        }
    }
};

// The Cartesian box around the eight corners of the map's fractional box.
Region BoxRegion(const MapDensity& map) {
    Region region;
    for (int corner = 0; corner < 8; ++corner) {
        Vec3d f;
        for (size_t a = 0; a < 3; ++a) f[a] = (corner >> a) & 1 ? map.boxHigh[a] : map.boxLow[a];
        region.add(Times(map.orthogonalisation, f));
    }
    return region;
}

Region AtomRegion(const MapDensity& map, const Model& model, double margin) {
    Region region;
    for (const ModelAtom& atom : model.atoms) region.add(Times(map.orthogonalisation, atom.fractional));
    for (size_t a = 0; a < 3; ++a) {
        region.low[a] -= margin;
        region.high[a] += margin;
    }
    return region;
}

double Step(const MapDensity& map, const ConversionOptions& options, const std::string& path) {
    const double step = options.step.value_or(map.finestSpacing());
    if (!(step > 0.0) || !std::isfinite(step)) FailImport(path, "gives no usable grid step (" + ShortNumber(step) + ")");
    return step;
}

// The region fits the limits at this step.
bool Fits(const Region& region, double step, const ConversionOptions& options) {
    double total = 1.0;
    for (size_t a = 0; a < 3; ++a) {
        const double points = std::ceil((region.high[a] - region.low[a]) / step - 1e-9) + 1;
        if (!(points <= kMaxCount)) return false;
        total *= points;
    }
    return total <= double(options.maxValues);
}

// Points along each axis that cover the region at this step. When a margin made the
// region too large, the margin is named as the cause.
std::array<int, 3> Counts(const Region& region, double step, const ConversionOptions& options, bool margin,
                          const std::string& path) {
    const std::string remedy = margin ? ": give a smaller --margin (" + ShortNumber(*options.margin) + " Å now)"
                                      : ": give a larger --step";
    std::array<int, 3> n{};
    uint64_t total = 1;
    for (size_t a = 0; a < 3; ++a) {
        const double intervals = std::ceil((region.high[a] - region.low[a]) / step - 1e-9);
        if (!(intervals + 1 <= kMaxCount))
            FailImport(path, "covers " + ShortNumber(region.high[a] - region.low[a]) + " Å along " + "xyz"[a] + ", more than " +
                                 std::to_string(kMaxCount) + " points at a step of " + ShortNumber(step) + " Å" + remedy);
        n[a] = std::max(1, static_cast<int>(intervals) + 1);
        total *= uint64_t(n[a]);
    }
    if (total > options.maxValues)
        FailImport(path, "would need " + std::to_string(n[0]) + " x " + std::to_string(n[1]) + " x " +
                             std::to_string(n[2]) + " points at a step of " + ShortNumber(step) +
                             " Å, more than can be written" + remedy);
    return n;
}

// Cell matrix, origin, constants and axes of the grid centred on the region.
void SetHeader(Mt1Contents& mt1, const MapDensity& map, const Vec3d& centre, double step, const std::array<int, 3>& n) {
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j) mt1.cellMatrix.a[3 * i + j] = float(map.orthogonalisation[i][j]);
    const Vec3d origin = Times(Inverse(map.orthogonalisation), centre);
    for (size_t a = 0; a < 3; ++a) {
        mt1.mapOrigin[int(a)] = float(origin[a]);
        mt1.step[a] = float(step);
        mt1.first[a] = float(-(n[a] - 1) * step / 2);
    }
    for (size_t k = 0; k < 6; ++k) mt1.cellParams[k] = float(map.cell[k]);
    mt1.grid.resizeForOverwrite(n[0], n[1], n[2]);   // the resampling writes every point
}

// Resamples grid planes taken one at a time from a shared counter, on as many threads as
// there are cores; each plane is computed the same way on any thread, so the values do not
// depend on how many there are. Each grid point's fractional position comes from the header
// as written, as the viewer computes it: origin + CellMatrix^-1 * point, summed per plane,
// row and point; stencils that do not change along a row are found once per row. When the
// x stencils do not change either (orthogonal cells), the four data rows are blended once
// per row at the columns those stencils take, and each point blends two of those.
class Resampler {
public:
    Resampler(Conversion& out, const MapDensity& map, const ConversionOptions& options)
        : out_(out), map_(map), scale_(options.scale), threads_(options.threads), grid_(out.mt1.grid) {
        const Mt1Contents& mt1 = out.mt1;
        Mat3d matrix{};
        for (size_t i = 0; i < 3; ++i)
            for (size_t j = 0; j < 3; ++j) matrix[i][j] = mt1.cellMatrix.a[3 * i + j];
        inverse_ = Inverse(matrix);
        origin_ = {mt1.mapOrigin.x, mt1.mapOrigin.y, mt1.mapOrigin.z};
        const int n[3] = {grid_.nx(), grid_.ny(), grid_.nz()};
        for (size_t a = 0; a < 3; ++a)
            for (int k = 0; k < n[a]; ++k) point_[a].push_back(double(mt1.first[a]) + k * double(mt1.step[a]));
        rowStencils_ = inverse_[1][0] == 0.0 && inverse_[2][0] == 0.0;
        // When x alone gives the fractional x (orthogonal cells), its stencils are found once.
        if (inverse_[0][1] == 0.0 && inverse_[0][2] == 0.0) {
            std::vector<bool> taken(size_t(map_.dataSize[0]));
            for (const double px : point_[0]) {
                columnStencils_.push_back(map_.stencil(0, origin_[0] + inverse_[0][0] * px));
                if (const auto& s = columnStencils_.back()) taken[s->low] = taken[s->high] = true;
            }
            for (size_t i = 0; i < taken.size(); ++i) {
                if (!taken[i]) continue;
                if (dataColumns_.empty() || dataColumns_.back().second != i) dataColumns_.push_back({i, i});
                ++dataColumns_.back().second;
            }
        }
    }

    // The extremes of the values written.
    ValueExtremes run(const std::function<void(int)>& progress) {
        const int cores = int(std::thread::hardware_concurrency());
        const int threads = std::clamp(threads_ > 0 ? threads_ : cores, 1, grid_.nz());
        std::vector<std::jthread> workers;
        for (int t = 1; t < threads; ++t) workers.emplace_back([this] { work(nullptr); });
        work(&progress);
        workers.clear();
        out_.outsidePoints = outside_;
        return extremes_;
    }

private:
    // Planes until none is left; the calling thread reports each tenth done.
    void work(const std::function<void(int)>* progress) {
        uint64_t outside = 0;
        ValueExtremes extremes;
        std::vector<double> blended(size_t(map_.dataSize[0]));
        for (int z; (z = next_++) < grid_.nz();) {
            outside += plane(z, extremes, blended);
            const int done = ++done_;
            if (progress && *progress) {
                const int percent = 100 * done / grid_.nz();
                if (percent / 10 > reported_ / 10) (*progress)(reported_ = percent);
            }
        }
        outside_ += outside;
        const std::lock_guard lock(extremesMutex_);
        extremes_.add(extremes);
    }

    // The four rows' blend at each data column the x stencils take, row by row over runs of
    // columns; a row of no weight is left out, so that a missing value there does not spoil
    // the sum.
    void blendRows(const MapDensity::RowBlend& rows, std::vector<double>& blended) const {
        for (const auto& [begin, end] : dataColumns_) std::fill(&blended[begin], &blended[end], 0.0);
        for (size_t r = 0; r < 4; ++r) {
            if (rows.weight[r] == 0.0) continue;
            const double w = rows.weight[r];
            const float* row = rows.row[r];
            for (const auto& [begin, end] : dataColumns_)
                for (size_t i = begin; i < end; ++i) blended[i] += w * double(row[i]);
        }
    }

    // A point between two blended columns; a column of no weight is left out.
    static double between(const std::vector<double>& blended, const AxisStencil& x) {
        double sum = 0.0;
        if (x.weight != 1.0) sum += (1.0 - x.weight) * blended[x.low];
        if (x.weight != 0.0) sum += x.weight * blended[x.high];
        return sum;
    }

    uint64_t plane(int z, ValueExtremes& extremes, std::vector<double>& blended) {
        uint64_t outside = 0;
        for (int y = 0; y < grid_.ny(); ++y) {
            Vec3d row;
            for (size_t i = 0; i < 3; ++i)
                row[i] = origin_[i] + inverse_[i][2] * point_[2][size_t(z)] + inverse_[i][1] * point_[1][size_t(y)];
            std::optional<AxisStencil> sy, sz;
            std::optional<MapDensity::RowBlend> rows;
            if (rowStencils_) {
                sy = map_.stencil(1, row[1]);
                sz = map_.stencil(2, row[2]);
                if (sy && sz) rows = map_.blend(*sy, *sz);
                if (rows && !columnStencils_.empty()) blendRows(*rows, blended);
            }
            float* values = &grid_(1, y + 1, z + 1);
            for (int x = 0; x < grid_.nx(); ++x) {
                std::optional<double> v;
                if (rowStencils_) {
                    if (rows && !columnStencils_.empty()) {
                        if (const std::optional<AxisStencil>& sx = columnStencils_[size_t(x)]) v = between(blended, *sx);
                    } else if (rows) {
                        const std::optional<AxisStencil> sx = map_.stencil(0, row[0] + inverse_[0][0] * point_[0][size_t(x)]);
                        if (sx) v = MapDensity::along(*rows, *sx);
                    }
                } else {
                    Vec3d f = row;
                    for (size_t i = 0; i < 3; ++i) f[i] += inverse_[i][0] * point_[0][size_t(x)];
                    v = map_.valueAt(f);
                }
                if (v) {
                    values[x] = float(*v * scale_);
                } else {
                    values[x] = out_.fillValue;
                    ++outside;
                }
            }
            extremes.add(values, size_t(grid_.nx()));
        }
        return outside;
    }

    Conversion& out_;
    const MapDensity& map_;
    const double scale_;
    const int threads_;
    DensityGrid& grid_;
    Mat3d inverse_{};
    Vec3d origin_{};
    std::array<std::vector<double>, 3> point_;   // grid frame coordinate of each point along x, y, z
    bool rowStencils_ = false;                   // y and z stencils are the same along a row
    std::vector<std::optional<AxisStencil>> columnStencils_;   // x stencil of each column, when it is one
    std::vector<std::pair<size_t, size_t>> dataColumns_;       // runs [begin, end) of the data columns they take
    std::atomic<int> next_{0}, done_{0};
    std::atomic<uint64_t> outside_{0};
    std::mutex extremesMutex_;
    ValueExtremes extremes_;
    int reported_ = 0;
};

ValueExtremes Resample(Conversion& out, const MapDensity& map, const ConversionOptions& options) {
    const bool large = out.mt1.grid.values().size() >= kProgressPoints;
    return Resampler(out, map, options).run(large ? options.progress : std::function<void(int)>());
}

// A factor 1, 2 or 5 times a power of ten, at most `limit`.
double RoundFactor(double limit) {
    const double power = std::pow(10.0, std::floor(std::log10(limit)));
    for (double m : {5.0, 2.0}) if (m * power <= limit) return m * power;
    return power;
}

// A scale that takes the map's values beyond what a float holds is named as the cause
// before anything is resampled.
void CheckScale(const ValueExtremes& map, double scale, const std::string& path) {
    const double largest =
        map.lowestFinite > map.highestFinite ? 0.0 : std::max(-double(map.lowestFinite), double(map.highestFinite));
    if (largest * std::fabs(scale) <= double(std::numeric_limits<float>::max())) return;
    FailImport(path, "--scale " + ShortNumber(scale) + " takes its values beyond what a map file holds (the largest is " +
                         ShortNumber(largest) + "): the viewer takes -10000 to 10000, so give --scale " +
                         ShortNumber(RoundFactor(double(kValueLimit) / largest)));
}

void CheckValues(const ValueExtremes& grid, double scale, const std::string& path) {
    if (!grid.allFinite()) FailImport(path, "holds values that are not finite numbers");
    const float lowest = grid.lowest, highest = grid.highest;
    if (lowest >= -kValueLimit && highest <= kValueLimit) return;
    const double largest = std::max(std::fabs(double(lowest)), std::fabs(double(highest)));
    FailImport(path, "its values run from " + ShortNumber(lowest) + " to " + ShortNumber(highest) +
                         ", but the viewer takes only -10000 to 10000: multiply them with --scale " +
                         ShortNumber(scale * RoundFactor(double(kValueLimit) / largest)));
}

void AddAtoms(Mt1Contents& mt1, const Model& model) {
    for (size_t i = 0; i < model.atoms.size(); ++i) {
        const ModelAtom& atom = model.atoms[i];
        Mt1Atom record;
        record.label = atom.element;
        record.before = {float(i + 1), 0.0f, 0.0f};
        for (size_t c = 0; c < 3; ++c) record.position[int(c)] = float(atom.fractional[c]);
        record.after = {atom.occupancy, atom.uIso, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
        mt1.atoms.push_back(record);
    }
}

// The smallest value of the map's data once scaled; NaN is no value. Scaling keeps the
// order of the values (or reverses it), so it is the scaled lowest or highest.
float ScaledMinimum(const ValueExtremes& map, double scale) {
    return float(double(scale > 0.0 ? map.lowest : map.highest) * scale);
}

}  // namespace

Conversion ConvertMap(const MapDensity& map, const Model* model, const ConversionOptions& options,
                      const std::string& mapPath) {
    if (!(options.scale != 0.0) || !std::isfinite(options.scale)) FailImport(mapPath, "--scale must be a non-zero number");
    const Region region = options.margin && model ? AtomRegion(map, *model, *options.margin) : BoxRegion(map);
    const ValueExtremes data = map.extremes ? *map.extremes : ExtremesOf(map.values);
    CheckScale(data, options.scale, mapPath);
    const double step = Step(map, options, mapPath);
    const bool marginTooLarge = options.margin && model && Fits(AtomRegion(map, *model, 0.0), step, options);
    const std::array<int, 3> n = Counts(region, step, options, marginTooLarge, mapPath);
    Conversion out;
    for (size_t a = 0; a < 3; ++a) out.cartesianCentre[a] = (region.low[a] + region.high[a]) / 2;
    out.fillValue = ScaledMinimum(data, options.scale);
    SetHeader(out.mt1, map, out.cartesianCentre, step, n);
    const ValueExtremes written = Resample(out, map, options);
    CheckValues(written, options.scale, mapPath);
    out.lowest = written.lowest;
    out.highest = written.highest;
    if (model) AddAtoms(out.mt1, *model);
    return out;
}

std::string GridSummary(const Conversion& conversion) {
    const Mt1Contents& mt1 = conversion.mt1;
    return std::to_string(mt1.grid.nx()) + " x " + std::to_string(mt1.grid.ny()) + " x " +
           std::to_string(mt1.grid.nz()) + " points, step " + ShortNumber(mt1.step[0]) + " Å";
}

}  // namespace tivarel
