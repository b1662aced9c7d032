#include "common/Win32Handles.h"

#include <gtest/gtest.h>

namespace {

int g_closed = 0;
void CountClose(HANDLE) noexcept { ++g_closed; }
using counted_handle = unique_handle<NullInvalidTraits<HANDLE, void (*)(HANDLE) noexcept, &CountClose>>;
HANDLE Fake(uintptr_t n) { return reinterpret_cast<HANDLE>(n); }

TEST(Win32Handles, OwnerClosesExactlyOnceThroughMovesResetsAndPut) {
  g_closed = 0;
  {
    counted_handle a(Fake(1));
    counted_handle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), Fake(1));
    counted_handle c;
    c = std::move(b);
    c.reset(Fake(1));  // same value: not closed
    EXPECT_EQ(g_closed, 0);
    c.reset(Fake(2));
    EXPECT_EQ(g_closed, 1);
    EXPECT_EQ(c.release(), Fake(2));
    EXPECT_EQ(g_closed, 1);
    counted_handle d(Fake(3));
    *d.put() = Fake(4);  // put closes what was held first
    EXPECT_EQ(g_closed, 2);
  }
  EXPECT_EQ(g_closed, 3);  // d's 4
  // A file handle's "none" is INVALID_HANDLE_VALUE, not null.
  EXPECT_FALSE(unique_file(INVALID_HANDLE_VALUE));
}

}  // namespace
