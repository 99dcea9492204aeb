#include <dlfcn.h>
#include <gtest/gtest.h>

#include <vector>

#include "common/posix/SharedObject.h"

namespace {

#ifdef PENDREL_UNLOADABLE
bool Loaded(const char* path) {
    void* const handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

TEST(SharedObject, KeepLoadedOutlastsTheLastDlclose) {
    const char* const path = PENDREL_UNLOADABLE;
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    dlclose(handle);
    if (Loaded(path)) GTEST_SKIP() << "the library does not unload here at all";

    handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    const void* const code = dlsym(handle, "PendrelUnloadableAnswer");
    ASSERT_NE(code, nullptr);
    EXPECT_TRUE(Util::KeepLoaded(code));
    dlclose(handle);
    EXPECT_TRUE(Loaded(path));
}
#endif

TEST(SharedObject, KeepLoadedRefusesAnAddressOutsideEveryObject) {
    const std::vector<int> heap(1000);
    EXPECT_FALSE(Util::KeepLoaded(heap.data()));
}

}  // namespace
