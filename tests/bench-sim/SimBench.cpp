#include "SimBench.h"

#include <dlfcn.h>

namespace kestrin::test {

void* SimBench::Symbol(const char* name) {
    // The driver is already loaded by the binding; this only finds it again.
    void* h = dlopen(KESTRIN_SERIAL_DRIVER, RTLD_NOW | RTLD_NOLOAD);
    return h != nullptr ? dlsym(h, name) : nullptr;
}

}  // namespace kestrin::test
