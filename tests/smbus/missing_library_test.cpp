// Without libQELSMBus.so. Run through ctest, which starts this program from a copy
// of the build's folders that lacks the library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "com/error.h"
#include "smbus_object.h"

namespace {

class MissingLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    void* library = dlopen("libQELSMBus.so", RTLD_NOW);
    if (library != nullptr) dlclose(library);
    ASSERT_EQ(library, nullptr) << "libQELSMBus.so is reachable; run this program through ctest";
  }
  void TearDown() override { qelsys::SetVersionSource(nullptr); }
};

TEST_F(MissingLibrary, SearchingVersionsCannotCreateTheObject) {
  for (const int16_t code : {95, 98, 351, 0}) {
    try {
      SMBusObject bus(code);
      ADD_FAILURE() << "created under code " << code;
    } catch (const comrt::Error& error) {
      EXPECT_EQ(error.number(), 53) << code;
      EXPECT_EQ(error.description(), "File not found: libQELSMBus.so");
    }
  }
}

TEST_F(MissingLibrary, OtherVersionsCreateItAndFailOnlyWhenATransactionReachesTheLibrary) {
  for (const int16_t code : {400, 2000, -1}) {
    SMBusObject bus(code);
    EXPECT_FALSE(bus.DevicePresent(0x50));
    bus.SetDeviceID(0x71138086);
    try {
      bus.PortWrite(0x50, 0, 0);
      ADD_FAILURE() << "no error under code " << code;
    } catch (const comrt::Error& error) {
      EXPECT_EQ(error.number(), 53);
    }
  }
}

}  // namespace
