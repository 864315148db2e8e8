// The kernel side against a kernel and its tools, each suite in the
// namespace that it needs; ctest runs this through scripts/ns-test, and
// NORVASK_TEST_NS names the namespace it runs in:
//   real-kernel   a network namespace that real-kernel-setup built
//   sim-kernel    the simulated switch's kernel laid over / (riot_off/kernel)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* ns = std::getenv("NORVASK_TEST_NS");
  const std::string which = ns ? ns : "";
  if (which == "real-kernel") {
    ::testing::GTEST_FLAG(filter) = "RealKernel.*";
  } else if (which == "sim-kernel") {
    ::testing::GTEST_FLAG(filter) = "SimKernel.*";
  } else {
    std::fprintf(stderr,
                 "%s: run it through ctest: it reads the kernel of the namespace that "
                 "scripts/ns-test makes (NORVASK_TEST_NS is real-kernel or sim-kernel)\n",
                 argv[0]);
    return 2;
  }
  return RUN_ALL_TESTS();
}
