// Gives every test program the build's paths in its environment
// (VLT_BUILD_BIN, VLT_SOURCE_DIR, VLT_TEST_MODULES) unless already set,
// before any test runs.
//
// SASL_PATH names a folder with no SASL plugins: OpenLDAP initialises Cyrus
// SASL at its first use, which loads every plugin, and unloads them at exit,
// leaving stale thread-local entries that crash LeakSanitizer's exit scan.
// The service binds with simple binds only and needs no plugin.
#include <stdlib.h>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    setenv("VLT_BUILD_BIN", VLT_DEFAULT_BUILD_BIN, 0);
    setenv("VLT_SOURCE_DIR", VLT_DEFAULT_SOURCE_DIR, 0);
    setenv("VLT_TEST_MODULES", VLT_DEFAULT_TEST_MODULES, 0);
    setenv("SASL_PATH", VLT_DEFAULT_TEST_MODULES "/no-sasl-plugins", 0);
  }
};

const TestEnvironment s_environment;

}  // namespace
