// Bayer interpolation, one line at a time. Means round half up: (a+b+1)/2
// and (a+b+c+d+2)/4, the rounding other demosaicing libraries use, so that
// results compare exactly.
#include "Vectors.h"

#include <utility>

namespace tarn {
namespace kernels {

namespace {

// Planes of the line's own non-green colour (X) and of the other one (O).
template <class T>
struct Planes
{
    T *x, *g, *o;
};

template <class T>
Planes<T> PlanesFor(BayerLine aKind, T *aR, T *aG, T *aB)
{
    Cfa own = aKind.even == Cfa::G ? aKind.odd : aKind.even;
    return own == Cfa::R ? Planes<T>{aR, aG, aB} : Planes<T>{aB, aG, aR};
}

// ---- 3x3 -------------------------------------------------------------------

// The three colours of one site: its own (X), green, the other (O).
template <class T>
struct Site
{
    T x, g, o;
};

// One site with mirrored neighbours (for the ends of a line).
template <class T>
TARN_INLINE Site<T> SiteAt(const T *u, const T *c, const T *d, size_t w, size_t x, bool own)
{
    size_t l = x == 0 ? 1 : x - 1;
    size_t r = x + 1 == w ? w - 2 : x + 1;
    if (own)
        return Site<T>{c[x], T((c[l] + c[r] + u[x] + d[x] + 2) >> 2), T((u[l] + u[r] + d[l] + d[r] + 2) >> 2)};
    return Site<T>{T((c[l] + c[r] + 1) >> 1), c[x], T((u[x] + d[x] + 1) >> 1)};
}

template <class T>
TARN_INLINE void Site3x3(const T *u, const T *c, const T *d, size_t w, size_t x, bool own, Planes<T> p)
{
    const Site<T> s = SiteAt(u, c, d, w, x, own);
    p.x[x] = s.x;
    p.g[x] = s.g;
    p.o[x] = s.o;
}

// Sites 1 to w-2, two at a time: an own-colour site and a green one, in
// the order OwnFirst tells, so that the loop body has no branch.
template <class T, bool OwnFirst>
TARN_INLINE void Interior3x3(const T *__restrict u, const T *__restrict c, const T *__restrict d, size_t w,
                 T *__restrict px, T *__restrict pg, T *__restrict po)
{
    size_t x = 1;
    for (; x + 2 < w; x += 2) {
        const size_t a = OwnFirst ? x : x + 1; // own colour
        const size_t b = OwnFirst ? x + 1 : x; // green
        px[a] = c[a];
        pg[a] = T((c[a - 1] + c[a + 1] + u[a] + d[a] + 2) >> 2);
        po[a] = T((u[a - 1] + u[a + 1] + d[a - 1] + d[a + 1] + 2) >> 2);
        pg[b] = c[b];
        px[b] = T((c[b - 1] + c[b + 1] + 1) >> 1);
        po[b] = T((u[b] + d[b] + 1) >> 1);
    }
    if (x + 1 < w)
        Site3x3(u, c, d, w, x, (x & 1) == (OwnFirst ? 1u : 0u), Planes<T>{px, pg, po});
}

template <class T>
TARN_INLINE void Line3x3(const T *u, const T *c, const T *d, size_t w, BayerLine aKind, T *aR, T *aG, T *aB)
{
    Planes<T> p = PlanesFor(aKind, aR, aG, aB);
    const bool ownEven = aKind.even != Cfa::G;
    Site3x3(u, c, d, w, 0, ownEven, p);
    // Site 1 is odd: own colour first when the odd sites are.
    if (ownEven)
        Interior3x3<T, false>(u, c, d, w, p.x, p.g, p.o);
    else
        Interior3x3<T, true>(u, c, d, w, p.x, p.g, p.o);
    Site3x3(u, c, d, w, w - 1, ((w - 1) & 1) ? !ownEven : ownEven, p);
}

// ---- 3x3 straight into 8-bit pixels ------------------------------------------

// Thirty-two sites from x on, x odd: every colour of every site is worked
// out both ways (as an own-colour site and as a green one) in 8-bit lanes,
// each lane then keeps the one its site needs, and the pixels go out
// interleaved, with no planes in between. OwnEvenLanes: the own-colour
// sites fall on the even lanes (the line's odd sites); XFirst: the own
// colour is the pixel's first byte.
template <bool OwnEvenLanes, bool XFirst>
TARN_INLINE void Sites3x3x32(const uint8_t *u, const uint8_t *c, const uint8_t *d, size_t x, uint8_t *aOut)
{
    const Bytes32 cl = Load<Bytes32>(c + x - 1), cc = Load<Bytes32>(c + x), cr = Load<Bytes32>(c + x + 1);
    const Bytes32 ul = Load<Bytes32>(u + x - 1), uc = Load<Bytes32>(u + x), ur = Load<Bytes32>(u + x + 1);
    const Bytes32 dl = Load<Bytes32>(d + x - 1), dc = Load<Bytes32>(d + x), dr = Load<Bytes32>(d + x + 1);
    const Bytes32 across = Mean2(cl, cr), upDown = Mean2(uc, dc);
    const Bytes32 cross = Mean4(cl, cr, uc, dc, across, upDown);
    const Bytes32 diagonal = Mean4(ul, ur, dl, dr, Mean2(ul, ur), Mean2(dl, dr));
    constexpr uint8_t e = OwnEvenLanes ? 0xFF : 0, o = uint8_t(~e);
    const Bytes32 own = {e, o, e, o, e, o, e, o, e, o, e, o, e, o, e, o,
                         e, o, e, o, e, o, e, o, e, o, e, o, e, o, e, o};
    const Bytes32 X = (cc & own) | (across & ~own);
    const Bytes32 G = (cross & own) | (cc & ~own);
    const Bytes32 O = (diagonal & own) | (upDown & ~own);
    if (XFirst)
        Interleave3x32(X, G, O, aOut + 3 * x);
    else
        Interleave3x32(O, G, X, aOut + 3 * x);
}

template <bool OwnEvenLanes, bool XFirst>
TARN_INLINE void Line3x3Pixels(const uint8_t *u, const uint8_t *c, const uint8_t *d, size_t w, bool aOwnEven,
                               uint8_t *aOut)
{
    auto pixel = [&](size_t x) {
        const Site<uint8_t> s = SiteAt(u, c, d, w, x, ((x & 1) == 0) == aOwnEven);
        aOut[3 * x] = XFirst ? s.x : s.o;
        aOut[3 * x + 1] = s.g;
        aOut[3 * x + 2] = XFirst ? s.o : s.x;
    };
    pixel(0);
    size_t x = 1;
    // A step reads one site past its last: steps end at w-2 at the latest.
    if (w >= 35) {
        for (; x + 33 <= w; x += 32)
            Sites3x3x32<OwnEvenLanes, XFirst>(u, c, d, x, aOut);
        // The rest but the last site or two in one more step, overlapping
        // the previous one and starting at an odd site like every step.
        if (x + 1 < w) {
            const size_t start = (w - 33) & 1 ? w - 33 : w - 34;
            Sites3x3x32<OwnEvenLanes, XFirst>(u, c, d, start, aOut);
            x = start + 32;
        }
    }
    for (; x < w; ++x)
        pixel(x);
}

// ---- 2x2 -------------------------------------------------------------------

// Block at column x0 whose top-left site is of the line's own colour, and
// one whose top-left site is green.
template <class T>
TARN_INLINE void BlockOwn(const T *t, const T *b, size_t x0, size_t x, T *px, T *pg, T *po)
{
    px[x] = t[x0];
    pg[x] = T((t[x0 + 1] + b[x0] + 1) >> 1);
    po[x] = b[x0 + 1];
}

template <class T>
TARN_INLINE void BlockGreen(const T *t, const T *b, size_t x0, size_t x, T *px, T *pg, T *po)
{
    px[x] = t[x0 + 1];
    pg[x] = T((t[x0] + b[x0 + 1] + 1) >> 1);
    po[x] = b[x0];
}

template <class T, bool OwnFirst>
TARN_INLINE void Blocks2x2(const T *__restrict t, const T *__restrict b, size_t w, T *__restrict px, T *__restrict pg,
               T *__restrict po)
{
    // Blocks 0 to w-2 start at the pixel itself; the last pixel reuses the
    // block at w-2.
    size_t x = 0;
    for (; x + 2 < w; x += 2) {
        if (OwnFirst) {
            BlockOwn(t, b, x, x, px, pg, po);
            BlockGreen(t, b, x + 1, x + 1, px, pg, po);
        } else {
            BlockGreen(t, b, x, x, px, pg, po);
            BlockOwn(t, b, x + 1, x + 1, px, pg, po);
        }
    }
    for (; x < w; ++x) {
        size_t x0 = x + 1 < w ? x : w - 2;
        if (((x0 & 1) == 0) == OwnFirst)
            BlockOwn(t, b, x0, x, px, pg, po);
        else
            BlockGreen(t, b, x0, x, px, pg, po);
    }
}

template <class T>
TARN_INLINE void Line2x2(const T *t, const T *b, size_t w, BayerLine aKind, T *aR, T *aG, T *aB)
{
    Planes<T> p = PlanesFor(aKind, aR, aG, aB);
    if (aKind.even != Cfa::G)
        Blocks2x2<T, true>(t, b, w, p.x, p.g, p.o);
    else
        Blocks2x2<T, false>(t, b, w, p.x, p.g, p.o);
}

}

TARN_KERNEL void Bayer3x3(const uint8_t *aAbove, const uint8_t *aLine, const uint8_t *aBelow, size_t aWidth, BayerLine aKind,
              uint8_t *aR, uint8_t *aG, uint8_t *aB)
{
    Line3x3(aAbove, aLine, aBelow, aWidth, aKind, aR, aG, aB);
}

TARN_KERNEL void Bayer3x3(const uint16_t *aAbove, const uint16_t *aLine, const uint16_t *aBelow, size_t aWidth,
              BayerLine aKind, uint16_t *aR, uint16_t *aG, uint16_t *aB)
{
    Line3x3(aAbove, aLine, aBelow, aWidth, aKind, aR, aG, aB);
}

TARN_KERNEL void Bayer3x3Pixels(const uint8_t *aAbove, const uint8_t *aLine, const uint8_t *aBelow, size_t aWidth,
                                BayerLine aKind, bool aBgr, uint8_t *aOut)
{
    const bool ownEven = aKind.even != Cfa::G;
    const bool red = (ownEven ? aKind.even : aKind.odd) == Cfa::R;
    // Steps start at odd sites: own-colour sites on their even lanes when
    // the line's odd sites are.
    if (ownEven) {
        if (red != aBgr)
            Line3x3Pixels<false, true>(aAbove, aLine, aBelow, aWidth, ownEven, aOut);
        else
            Line3x3Pixels<false, false>(aAbove, aLine, aBelow, aWidth, ownEven, aOut);
    } else {
        if (red != aBgr)
            Line3x3Pixels<true, true>(aAbove, aLine, aBelow, aWidth, ownEven, aOut);
        else
            Line3x3Pixels<true, false>(aAbove, aLine, aBelow, aWidth, ownEven, aOut);
    }
}

TARN_KERNEL void Bayer2x2(const uint8_t *aTop, const uint8_t *aBottom, size_t aWidth, BayerLine aKind, uint8_t *aR,
              uint8_t *aG, uint8_t *aB)
{
    Line2x2(aTop, aBottom, aWidth, aKind, aR, aG, aB);
}

TARN_KERNEL void Bayer2x2(const uint16_t *aTop, const uint16_t *aBottom, size_t aWidth, BayerLine aKind, uint16_t *aR,
              uint16_t *aG, uint16_t *aB)
{
    Line2x2(aTop, aBottom, aWidth, aKind, aR, aG, aB);
}

}
}
