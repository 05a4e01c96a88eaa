// The symbol index: the program's own functions named with their file and line, and the misses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "system/symbol_index.h"

namespace quillomar_symbols_test {

// The line of the marked statement is returned with the address of the code right after it.
__attribute__((noinline)) uint64_t MarkedFunction(int* line) {
  *line = __LINE__ + 1;
  uint64_t here = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  asm volatile("" ::: "memory");
  return here;
}

}  // namespace quillomar_symbols_test

TEST(SymbolIndex, NamesTheProgramsOwnFunctionsWithFileAndLine) {
  ASSERT_TRUE(SymbolIndexLoad());
  EXPECT_TRUE(SymbolIndexLoad());  // once only, same answer
  EXPECT_TRUE(SymbolIndexLoaded());
  const SymbolIndexSize size = SymbolIndexSizeGet();
  EXPECT_GT(size.functions, 100u);
  EXPECT_GT(size.lines, size.functions);
  EXPECT_GT(size.bytes, 0u);
  std::printf("symbol index: %zu functions, %zu line rows, %zu files, %zu bytes\n", size.functions, size.lines,
              size.files, size.bytes);

  // The function's own first instruction: its name, this file, a line near its start.
  SymbolHit hit;
  const uint64_t start = reinterpret_cast<uintptr_t>(&quillomar_symbols_test::MarkedFunction);
  ASSERT_TRUE(SymbolIndexLookup(start, &hit));
  EXPECT_STREQ(hit.function, "quillomar_symbols_test::MarkedFunction(int*)");
  EXPECT_EQ(hit.functionStart, start);
  EXPECT_STREQ(hit.file, "tests/system/symbol_index_test.cpp");  // relative to the source tree
  EXPECT_GE(hit.line, 12u);
  EXPECT_LE(hit.line, 16u);

  // A return address inside the test body names the test body.
  int line = 0;
  const uint64_t back = quillomar_symbols_test::MarkedFunction(&line);
  ASSERT_TRUE(SymbolIndexLookup(back - 1, &hit));
  EXPECT_NE(std::string(hit.function).find("NamesTheProgramsOwnFunctionsWithFileAndLine"), std::string::npos)
      << hit.function;
  EXPECT_STREQ(hit.file, "tests/system/symbol_index_test.cpp");
  EXPECT_NEAR(static_cast<int>(hit.line), __LINE__ - 5, 1);

  // Addresses outside the program's code: nothing, and the hit is cleared.
  const uint64_t outside[] = {0, 16, reinterpret_cast<uintptr_t>(&strlen), ~0ull};
  for (uint64_t address : outside) {
    EXPECT_FALSE(SymbolIndexLookup(address, &hit)) << address;
    EXPECT_STREQ(hit.function, "");
    EXPECT_STREQ(hit.file, "");
    EXPECT_EQ(hit.line, 0u);
  }
  EXPECT_FALSE(SymbolIndexLookup(start, nullptr));
}
