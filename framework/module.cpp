#include "framework/module.h"

namespace fw {

namespace {
HINSTANCE g_resourceModule = nullptr;
}

void SetResourceModule(HINSTANCE module) { g_resourceModule = module; }

HINSTANCE ResourceModule() { return g_resourceModule; }

}  // namespace fw
