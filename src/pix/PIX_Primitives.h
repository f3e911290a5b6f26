// Lines, arcs, circles, rounded rectangles, triangles and convex polygons.
#pragma once

#include "pix/PIX_Blit.h"

// Same weight and mode conventions as PIX_FillRect; everything is clipped to
// the bitmap. "aa" asks for antialiased edges (the edge coverage scales the
// weight). Arc angles are in radians, 0 pointing up (-y), growing clockwise
// on screen (pi/2 points right). Coordinates name pixel centres.
void PIX_Line(PIX_IBitmap* dest, int x1, int y1, int x2, int y2, PIX_pixel color, float alpha,
              int mode, bool aa);
// The same line, touching only the pixels inside (clipX, clipY, clipW, clipH):
// each pixel it leaves gets exactly what PIX_Line gives it, so a picture can
// be redrawn piece by piece without seams at the pieces' edges.
void PIX_LineClipped(PIX_IBitmap* dest, int x1, int y1, int x2, int y2, PIX_pixel color,
                     float alpha, int mode, bool aa, int clipX, int clipY, int clipW, int clipH);
void PIX_Arc(PIX_IBitmap* dest, float cx, float cy, float r, float minAngle, float maxAngle,
             PIX_pixel color, float alpha, int mode, bool aa);
void PIX_Circle(PIX_IBitmap* dest, float cx, float cy, float r, PIX_pixel color, float alpha,
                int mode, bool aa);
void PIX_FillCircle(PIX_IBitmap* dest, int cx, int cy, int r, PIX_pixel color, float alpha,
                    int mode, bool aa);
// Outline of (x, y, w, h) with rounded corners.
void PIX_RoundRect(PIX_IBitmap* dest, int x, int y, int w, int h, int cornerradius,
                   PIX_pixel color, float alpha, int mode, bool aa);
void PIX_FillTriangle(PIX_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3,
                      PIX_pixel color, float alpha, int mode);
// Fills a convex polygon given by npoints corners (in either winding order).
void PIX_FillConvexPolygon(PIX_IBitmap* dest, const int* xs, const int* ys, int npoints,
                           PIX_pixel color, float alpha, int mode);
