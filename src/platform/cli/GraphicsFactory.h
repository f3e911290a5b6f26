// The process-wide choice of editor surface for programs on the command-line binding.
#pragma once

class IGraphics;
class IPluginBase;

// Makes an editor surface for a plug-in; fps 0 means the surface's default.
using GraphicsFactory = IGraphics* (*)(IPluginBase* pPlug, int width, int height, int fps);

// The factory MakeGraphics uses from now on; null restores the default, the
// headless surface. A program that shows the editor in a window (the player)
// sets its windowed factory before it constructs the instrument, so this
// binding never links a window system itself. Set it before instruments are
// made on other threads.
void SetGraphicsFactory(GraphicsFactory factory);
GraphicsFactory GetGraphicsFactory();
