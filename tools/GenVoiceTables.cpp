// Generator of the drum voice's two stored curves: the diode clipper's transfer curve and the
// click transient. Writes src/voice/VoiceTables.h and src/voice/VoiceTables.cpp.
//
// Usage: gen_voice_tables <output folder>   (normally: gen_voice_tables src/voice)
//
// Both curves are rebuilt from a small set of anchor values measured on the modelled circuit;
// everything between the anchors is interpolated so that the result is smooth and keeps the shape
// of the measurement. The program checks the shape before writing and refuses to write a table
// that breaks it, so a change to an anchor cannot silently produce a bent curve.
//
// Clipper curve (`kennlinie`, 1001 entries, entry i is the output for the input -9 + 0.018 i):
//   - anchors every 0.36 from 0 to 9 (every twentieth entry), mirrored to the negative side, since
//     the two diodes are alike and the curve is odd;
//   - a natural cubic spline (C2, second derivative 0 at +-9 where the curve is almost flat)
//     through the anchors and their mirrors, with one extra anchor at +-0.18 whose value is solved
//     so that the slope at 0 is the small-signal gain 0.1802917;
//   - the negative half is the exact negative of the positive half; entry 500 keeps the tiny
//     residue -5.3e-15 of the measurement, and the anchors are stored as measured.
//
// Click transient (1000 entries at 96 kHz):
//   - anchors at the telling samples of the recording, plus the dip of -0.526 at sample 17 and the
//     level -0.041 at sample 226 where the jump begins;
//   - a piecewise cubic Hermite curve through the anchors (C1). Slopes at the anchors follow the
//     shape-preserving rule (weighted harmonic mean of the neighbouring secants, 0 at a turning
//     point), so the curve has no overshoot: every peak and dip lies on its anchor;
//   - the two long relaxations (samples 40 to 225, negative, and 260 to 999, positive) are
//     interpolated on the logarithm of the magnitude, where they are nearly straight, which keeps
//     them exponential between their sparse anchors;
//   - the recording passed a coupling capacitor, so its values sum to zero. The interpolation
//     alone misses that by a little; a bump sin^2(pi t) inside each interval of the two relaxations
//     (zero with zero slope at every anchor) deepens the negative one and trims the positive one by
//     a common factor, solved so that the sum of the stored floats is practically zero.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kennlinieSize = 1001;
constexpr int clickTableSize = 1000;
constexpr double clickTableRate = 96000.0;

struct Anchor {
    double x;
    double y;
};

void fail(const char* what)
{
    std::fprintf(stderr, "gen_voice_tables: %s\n", what);
    std::exit(1);
}

// ---------------------------------------------------------------------------------------------
// Natural cubic spline.

struct Spline {
    std::vector<double> x, y, m;  // knots, values, second derivatives

    Spline(const std::vector<Anchor>& a)
    {
        const size_t n = a.size();
        for (const Anchor& k : a) {
            x.push_back(k.x);
            y.push_back(k.y);
        }
        m.assign(n, 0.0);
        // Tridiagonal system for the interior second derivatives (Thomas algorithm).
        std::vector<double> c(n, 0.0), d(n, 0.0);
        for (size_t i = 1; i + 1 < n; ++i) {
            const double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
            const double lower = h0, diag = 2.0 * (h0 + h1), upper = h1;
            const double rhs = 6.0 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
            const double denom = diag - lower * c[i - 1];
            c[i] = upper / denom;
            d[i] = (rhs - lower * d[i - 1]) / denom;
        }
        for (size_t i = n - 2; i >= 1; --i)
            m[i] = d[i] - c[i] * m[i + 1];
    }

    size_t segment(double v) const
    {
        size_t i = 0;
        while (i + 2 < x.size() && v > x[i + 1])
            ++i;
        return i;
    }

    double value(double v) const
    {
        const size_t i = segment(v);
        const double h = x[i + 1] - x[i];
        const double a = (x[i + 1] - v) / h, b = (v - x[i]) / h;
        return a * y[i] + b * y[i + 1] + ((a * a * a - a) * m[i] + (b * b * b - b) * m[i + 1]) * h * h / 6.0;
    }

    double slope(double v) const
    {
        const size_t i = segment(v);
        const double h = x[i + 1] - x[i];
        const double a = (x[i + 1] - v) / h, b = (v - x[i]) / h;
        return (y[i + 1] - y[i]) / h + (-(3.0 * a * a - 1.0) * m[i] + (3.0 * b * b - 1.0) * m[i + 1]) * h / 6.0;
    }
};

// ---------------------------------------------------------------------------------------------
// Clipper curve.

// Measured output at the inputs 0.36 k, k = 0..25 (entries 500, 520, ..., 1000).
const double clipperAnchors[26] = {
    0.0, 0.064900093, 0.1297567, 0.19442239, 0.2583136, 0.3193641, 0.37259299, 0.41309071,
    0.44168079, 0.4621883, 0.477624, 0.48979011, 0.49973971, 0.50811273, 0.51531738, 0.52162701,
    0.52723151, 0.53226757, 0.5368368, 0.54101622, 0.54486549, 0.54843211, 0.55175358, 0.55486131,
    0.55778039, 0.56053227,
};
constexpr double clipperSmallSignalGain = 0.1802917;
constexpr float clipperZeroResidue = -5.3e-15f;

Spline clipperSpline(double extra)
{
    std::vector<Anchor> a;
    for (int k = 25; k >= 1; --k)
        a.push_back({-0.36 * k, -clipperAnchors[k]});
    a.push_back({-0.18, -extra});
    a.push_back({0.0, 0.0});
    a.push_back({0.18, extra});
    for (int k = 1; k <= 25; ++k)
        a.push_back({0.36 * k, clipperAnchors[k]});
    return Spline(a);
}

std::vector<float> makeKennlinie()
{
    // The slope at 0 is linear in the extra anchor's value: two trials fix it.
    const double s0 = clipperSpline(0.0).slope(0.0);
    const double s1 = clipperSpline(0.1).slope(0.0);
    const double extra = 0.1 * (clipperSmallSignalGain - s0) / (s1 - s0);
    const Spline s = clipperSpline(extra);

    std::vector<float> t(kennlinieSize);
    for (int i = 500; i < kennlinieSize; ++i) {
        float v = static_cast<float>(s.value((i - 500) * 0.018));
        if ((i - 500) % 20 == 0)
            v = static_cast<float>(clipperAnchors[(i - 500) / 20]);
        t[i] = v;
        t[1000 - i] = -v;
    }
    t[500] = clipperZeroResidue;

    for (int i = 1; i < kennlinieSize; ++i)
        if (!(t[i] > t[i - 1]))
            fail("clipper curve is not rising");
    for (int i = 502; i < kennlinieSize; ++i)  // concave on the positive side: no ripple
        if (!((t[i] - t[i - 1]) <= (t[i - 1] - t[i - 2]) + 1e-6f))
            fail("clipper curve has a ripple");
    return t;
}

// ---------------------------------------------------------------------------------------------
// Click transient.

const Anchor clickAnchors[] = {
    {0, 0.00033786}, {5, -0.0961947}, {10, -0.373744}, {15, -0.519318}, {17, -0.526},
    {20, -0.516293}, {25, -0.52152}, {30, -0.544101}, {40, -0.508189}, {60, -0.410673},
    {80, -0.314422}, {100, -0.237406}, {150, -0.118515}, {200, -0.0589372}, {225, -0.0416571},
    {226, -0.041}, {228, -0.00591681}, {230, 0.200916}, {232, 0.572165}, {234, 0.910559},
    {237, 1.10214}, {240, 0.925189}, {243, 0.647604}, {247, 0.475441}, {251, 0.550462},
    {255, 0.621642}, {260, 0.542891}, {270, 0.425642}, {280, 0.376051}, {300, 0.272548},
    {350, 0.123172}, {400, 0.0555865}, {500, 0.0116306}, {600, 0.00273361}, {700, 0.000916264},
    {800, 0.000539443}, {900, 0.000455043}, {999, 0.000430963},
};
constexpr int clickAnchorCount = sizeof(clickAnchors) / sizeof(clickAnchors[0]);

// The relaxations interpolated on log |value|: sign -1 for the negative one, +1 for the tail.
int logRegion(double a, double b)
{
    if (a >= 40 && b <= 225)
        return -1;
    if (a >= 260 && b <= 999)
        return 1;
    return 0;
}

// Shape-preserving slope from two neighbouring secants (Fritsch-Butland weighting).
double harmonicSlope(double h0, double s0, double h1, double s1)
{
    if (s0 == 0.0 || s1 == 0.0 || (s0 > 0.0) != (s1 > 0.0))
        return 0.0;
    const double w1 = 2.0 * h1 + h0, w2 = h1 + 2.0 * h0;
    return (w1 + w2) / (w1 / s0 + w2 / s1);
}

std::vector<double> clickSlopes()
{
    const Anchor* k = clickAnchors;
    const int n = clickAnchorCount;
    std::vector<double> d(n, 0.0);
    for (int i = 1; i + 1 < n; ++i) {
        const double h0 = k[i].x - k[i - 1].x, h1 = k[i + 1].x - k[i].x;
        if (logRegion(k[i - 1].x, k[i].x) != 0 && logRegion(k[i].x, k[i + 1].x) != 0) {
            const double l0 = std::log(std::fabs(k[i - 1].y)), l1 = std::log(std::fabs(k[i].y));
            const double l2 = std::log(std::fabs(k[i + 1].y));
            d[i] = k[i].y * harmonicSlope(h0, (l1 - l0) / h0, h1, (l2 - l1) / h1);
        } else {
            d[i] = harmonicSlope(h0, (k[i].y - k[i - 1].y) / h0, h1, (k[i + 1].y - k[i].y) / h1);
        }
    }
    // Start: three-point estimate, kept to the sign of the first secant.
    {
        const double h0 = k[1].x - k[0].x, h1 = k[2].x - k[1].x;
        const double s0 = (k[1].y - k[0].y) / h0, s1 = (k[2].y - k[1].y) / h1;
        double e = ((2.0 * h0 + h1) * s0 - h0 * s1) / (h0 + h1);
        if ((e > 0.0) != (s0 > 0.0))
            e = 0.0;
        d[0] = e;
    }
    // End: the tail's exponential rate over its last interval.
    {
        const double h = k[n - 1].x - k[n - 2].x;
        d[n - 1] = k[n - 1].y * (std::log(k[n - 1].y) - std::log(k[n - 2].y)) / h;
    }
    return d;
}

double hermite(double t, double h, double y0, double y1, double d0, double d1)
{
    const double t2 = t * t, t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * y0 + (t3 - 2 * t2 + t) * h * d0 + (-2 * t3 + 3 * t2) * y1
        + (t3 - t2) * h * d1;
}

std::vector<float> renderClick(double eps)
{
    static const std::vector<double> d = clickSlopes();
    const double pi = std::acos(-1.0);
    std::vector<float> t(clickTableSize);
    int seg = 0;
    for (int s = 0; s < clickTableSize; ++s) {
        while (seg + 2 < clickAnchorCount && s >= clickAnchors[seg + 1].x)
            ++seg;
        const Anchor& a = clickAnchors[seg];
        const Anchor& b = clickAnchors[seg + 1];
        const double h = b.x - a.x, u = (s - a.x) / h;
        double v;
        const int region = logRegion(a.x, b.x);
        if (region != 0) {
            const double la = std::log(std::fabs(a.y)), lb = std::log(std::fabs(b.y));
            double l = hermite(u, h, la, lb, d[seg] / a.y, d[seg + 1] / b.y);
            const double bump = std::sin(pi * u) * std::sin(pi * u);
            l += -region * eps * bump;  // eps > 0: deeper negative lobe, lighter tail
            v = region * std::exp(l);
        } else {
            v = hermite(u, h, a.y, b.y, d[seg], d[seg + 1]);
        }
        if (s == a.x)
            v = a.y;  // anchors are stored as measured
        t[s] = static_cast<float>(v);
    }
    return t;
}

double sumOf(const std::vector<float>& t)
{
    double sum = 0.0;
    for (float v : t)
        sum += v;
    return sum;
}

std::vector<float> makeClick()
{
    // The sum falls steadily with eps: a few secant steps find its zero.
    double e0 = 0.0, e1 = 0.01;
    double f0 = sumOf(renderClick(e0)), f1 = sumOf(renderClick(e1));
    std::fprintf(stderr, "click transient: sum before correction %.6g\n", f0);
    for (int it = 0; it < 30 && std::fabs(f1) > 1e-7 && f1 != f0; ++it) {
        const double e2 = e1 - f1 * (e1 - e0) / (f1 - f0);
        e0 = e1;
        f0 = f1;
        e1 = e2;
        f1 = sumOf(renderClick(e1));
    }
    std::fprintf(stderr, "click transient: correction factor %.6g, sum %.3g\n", e1, f1);
    if (std::fabs(e1) > 0.1)
        fail("click transient needs too large a correction");
    std::vector<float> t = renderClick(e1);
    if (std::fabs(sumOf(t)) > 1e-4)
        fail("click transient does not sum to zero");

    // Shape checks: the turning points lie on their anchors, the stretches between are monotone.
    auto rising = [&](int a, int b) {
        for (int i = a + 1; i <= b; ++i)
            if (!(t[i] > t[i - 1]))
                return false;
        return true;
    };
    auto falling = [&](int a, int b) {
        for (int i = a + 1; i <= b; ++i)
            if (!(t[i] < t[i - 1]))
                return false;
        return true;
    };
    if (!falling(0, 17) || !rising(17, 20) || !falling(20, 30) || !rising(30, 237)
        || !falling(237, 247) || !rising(247, 255) || !falling(255, clickTableSize - 1))
        fail("click transient shape");
    return t;
}

// ---------------------------------------------------------------------------------------------
// Output.

const char* banner = "// generated by tools/GenVoiceTables -- do not edit; run gen_voice_tables to remake.\n";

void writeArray(FILE* f, const char* name, const char* size, const std::vector<float>& t)
{
    std::fprintf(f, "const float %s[%s] = {\n", name, size);
    for (size_t i = 0; i < t.size(); ++i) {
        std::fprintf(f, "%s%.9g%s", i % 6 == 0 ? "    " : "", static_cast<double>(t[i]),
            i + 1 == t.size() ? "f,\n" : (i % 6 == 5 ? "f,\n" : "f, "));
    }
    std::fprintf(f, "};\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_voice_tables <output folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<float> curve = makeKennlinie();
    const std::vector<float> click = makeClick();

    FILE* h = std::fopen((dir + "/VoiceTables.h").c_str(), "w");
    if (!h)
        fail("cannot write VoiceTables.h");
    std::fprintf(h, "%s", banner);
    std::fprintf(h,
        "// The two stored curves of the bass drum voice.\n"
        "#pragma once\n\n"
        "// Transfer curve of the diode clipper: entry i is the output for the input -9 + 0.018 * i.\n"
        "constexpr int kennlinieSize = %d;\n"
        "constexpr double kennlinieInputMin = -9.0;\n"
        "constexpr double kennlinieInputMax = 9.0;\n"
        "extern const float kennlinie[kennlinieSize];\n\n"
        "// Attack transient of the click path, recorded at clickTableRate.\n"
        "constexpr int clickTableSize = %d;\n"
        "constexpr double clickTableRate = %.1f;\n"
        "extern const float clickTable[clickTableSize];\n",
        kennlinieSize, clickTableSize, clickTableRate);
    std::fclose(h);

    FILE* c = std::fopen((dir + "/VoiceTables.cpp").c_str(), "w");
    if (!c)
        fail("cannot write VoiceTables.cpp");
    std::fprintf(c, "%s", banner);
    std::fprintf(c, "// Clipper curve: odd cubic spline through the measured anchors. Click transient:\n"
                    "// shape-preserving Hermite curve through the measured anchors, summing to zero.\n"
                    "#include \"voice/VoiceTables.h\"\n\n");
    writeArray(c, "kennlinie", "kennlinieSize", curve);
    std::fprintf(c, "\n");
    writeArray(c, "clickTable", "clickTableSize", click);
    std::fclose(c);
    return 0;
}
