#include <gtest/gtest.h>

#include <vector>

#include "npbrowser/ObjectRegistry.h"

namespace {

// A class that records its allocations and deallocations and releases a
// second object from its deallocate, as plug-in objects holding others do.
std::vector<std::string> gEvents;
ObjectRegistry* gRegistry = nullptr;

struct Holder : NPObject {
    NPObject* held = nullptr;
};

NPClass kHolderClass = {
    NP_CLASS_STRUCT_VERSION,
    [](NPP, NPClass*) -> NPObject* {
        gEvents.push_back("allocate");
        return new Holder();
    },
    [](NPObject* object) {
        gEvents.push_back("deallocate");
        auto* holder = static_cast<Holder*>(object);
        if (holder->held != nullptr) gRegistry->Release(holder->held);
        delete holder;
    },
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

class ObjectRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        gEvents.clear();
        gRegistry = &_registry;
    }
    ObjectRegistry _registry;
};

TEST_F(ObjectRegistryTest, CreatesThroughAllocateAndDeallocatesAtZero) {
    NPObject* object = _registry.Create(nullptr, &kHolderClass);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->_class, &kHolderClass);
    EXPECT_EQ(object->referenceCount, 1u);
    EXPECT_EQ(_registry.Retain(object), object);
    EXPECT_EQ(object->referenceCount, 2u);
    _registry.Release(object);
    EXPECT_TRUE(_registry.IsLive(object));
    _registry.Release(object);
    EXPECT_FALSE(_registry.IsLive(object));
    EXPECT_EQ(gEvents, (std::vector<std::string>{"allocate", "deallocate"}));
    EXPECT_TRUE(_registry.Leaks().empty());
    EXPECT_EQ(_registry.Misuses(), 0u);
}

TEST_F(ObjectRegistryTest, ClassWithoutAllocateGetsPlainMemory) {
    NPClass bare = {NP_CLASS_STRUCT_VERSION,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr};
    NPObject* object = _registry.Create(nullptr, &bare);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->referenceCount, 1u);
    _registry.Release(object);  // freed without a deallocate (checked by the sanitizer build)
    EXPECT_FALSE(_registry.IsLive(object));
}

TEST_F(ObjectRegistryTest, DeallocationMayReleaseFurtherObjects) {
    auto* outer = static_cast<Holder*>(_registry.Create(nullptr, &kHolderClass));
    NPObject* inner = _registry.Create(nullptr, &kHolderClass);
    outer->held = inner;
    _registry.Release(outer);
    EXPECT_FALSE(_registry.IsLive(outer));
    EXPECT_FALSE(_registry.IsLive(inner));
    EXPECT_EQ(gEvents.size(), 4u);
}

TEST_F(ObjectRegistryTest, ReportsObjectsLeftAliveWithTheirCounts) {
    NPObject* once = _registry.Create(nullptr, &kHolderClass);
    NPObject* twice = _registry.Retain(_registry.Create(nullptr, &kHolderClass));
    NPObject* gone = _registry.Create(nullptr, &kHolderClass);
    _registry.Release(gone);
    const auto leaks = _registry.Leaks();
    ASSERT_EQ(leaks.size(), 2u);
    for (const auto& leak : leaks) {
        EXPECT_EQ(leak.cls, &kHolderClass);
        EXPECT_EQ(leak.count, leak.object == twice ? 2u : 1u);
        EXPECT_TRUE(leak.object == once || leak.object == twice);
    }
    _registry.Release(once);
    _registry.Release(twice);
    _registry.Release(twice);
}

TEST_F(ObjectRegistryTest, CountsCallsOnObjectsThatDoNotExist) {
    NPObject* object = _registry.Create(nullptr, &kHolderClass);
    _registry.Release(object);
    _registry.Release(object);  // one release too many: must not free twice
    Holder stranger;
    _registry.Retain(&stranger);
    EXPECT_EQ(_registry.Misuses(), 2u);
    EXPECT_EQ(gEvents, (std::vector<std::string>{"allocate", "deallocate"}));
    EXPECT_EQ(_registry.Create(nullptr, nullptr), nullptr);
}

}  // namespace
