// Marks a function that runs in every audio block, so that all of them sit side by side.
#pragma once

// A first-level instruction cache maps code to its sets by the address bits inside a 4 KiB page,
// and holds only a few lines per set. The functions a block runs through are spread over the
// binary among code that seldom runs (setup, settings, the paths for other processors), and where
// they land is chance: in one binary nine of their hot lines shared one set, one more than a
// 32 KiB eight-way cache holds there, and a model of that cache fetched them again every block.
// Gathered in one section (the linker places sections named .text.hot* together at the front of
// the code) they fill neighbouring lines and spread evenly over the sets, in whichever binary
// they are linked into. Only where the code sits changes, not what it computes.
#if defined(__ELF__) && (defined(__GNUC__) || defined(__clang__))
#define UTIL_RENDER_PATH __attribute__((section(".text.hot.render")))
#else
#define UTIL_RENDER_PATH
#endif
