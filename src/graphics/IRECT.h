// Integer rectangle of the editor: left, top, right, bottom, right and bottom exclusive.
#pragma once

// A plain value copied freely. The all-zero rectangle is "empty" and acts as
// the neutral element of Union and the "nothing" result of Intersect; a
// rectangle of zero width elsewhere is a real rectangle (it still enlarges a
// union), because dirty tracking starts from the default rectangle and must
// not lose a control that happens to collapse to a line.
struct IRECT {
  int L = 0, T = 0, R = 0, B = 0;

  IRECT() = default;
  IRECT(int l, int t, int r, int b) : L(l), T(t), R(r), B(b) {}

  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  void Clear() { L = T = R = B = 0; }

  bool operator==(const IRECT& o) const { return L == o.L && T == o.T && R == o.R && B == o.B; }
  bool operator!=(const IRECT& o) const { return !(*this == o); }

  int W() const { return R - L; }
  int H() const { return B - T; }
  float MW() const { return 0.5f * (float)(L + R); }
  float MH() const { return 0.5f * (float)(T + B); }

  bool Contains(int x, int y) const { return !Empty() && x >= L && x < R && y >= T && y < B; }
  bool Contains(const IRECT* pR) const {
    return !Empty() && !pR->Empty() && pR->L >= L && pR->R <= R && pR->T >= T && pR->B <= B;
  }

  // Rectangles that touch along this rectangle's right or bottom edge count
  // as intersecting (the comparison there is strict); the redraw of a control
  // that ends where its neighbour starts therefore repaints the neighbour too.
  bool Intersects(const IRECT* pR) const {
    if (Empty() || pR->Empty()) return false;
    return !(R < pR->L || L >= pR->R || B < pR->T || T >= pR->B);
  }

  IRECT Intersect(const IRECT* pR) const {
    if (!Intersects(pR)) return IRECT();
    return IRECT(L > pR->L ? L : pR->L, T > pR->T ? T : pR->T, R < pR->R ? R : pR->R,
                 B < pR->B ? B : pR->B);
  }

  IRECT Union(const IRECT* pR) const {
    if (Empty()) return *pR;
    if (pR->Empty()) return *this;
    return IRECT(L < pR->L ? L : pR->L, T < pR->T ? T : pR->T, R > pR->R ? R : pR->R,
                 B > pR->B ? B : pR->B);
  }

  IRECT GetPadded(int padding) const { return IRECT(L - padding, T - padding, R + padding, B + padding); }
};
