// Where the instrument finds its shipped files: resources/ next to its binary, else built in.
#pragma once

#include <string>
#include <vector>

class PIX_IBitmap;

// One file of resources/ compiled into the program (generated at build time
// from the repository's resources/ folder). path is relative to the resource
// folder, e.g. "resources/img/led.png".
struct BuiltInResource {
  const char* path;
  const unsigned char* data;
  unsigned long size;
};
extern const BuiltInResource kBuiltInResources[];
extern const int kNumBuiltInResources;

// The instrument's resource folder: the folder of the binary (program or
// shared object) that holds the instrument's code, with a trailing "/".
// Its resources/img/ holds the skin images and resources/presets/ the
// factory presets, in the build tree and the install tree alike.
std::string InstrumentResourceFolder();

// The built-in copy of a resource by its relative path, or null (also while
// built-in resources are switched off).
const BuiltInResource* FindBuiltInResource(const std::string& relPath);
// Every built-in resource whose path begins with prefix, in path order.
std::vector<const BuiltInResource*> BuiltInResourcesUnder(const std::string& prefix);

// Decodes the built-in copy of a skin image named as the editor names it
// ("resources/img/led.png"); null when there is none or it does not decode.
// Installed as the graphics core's fallback image source.
PIX_IBitmap* LoadBuiltInImage(const char* name);
// The size of that image from its header, without decoding it.
bool BuiltInImageSize(const char* name, int* pW, int* pH);

// Built-in resources are on unless switched off; tests switch them off to
// see what the instrument does when a resource is nowhere to be found.
void UseBuiltInResources(bool use);
