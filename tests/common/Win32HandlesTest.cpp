#include "common/Win32Handles.h"

#include <gtest/gtest.h>

#include "common/HResult.h"

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
    HANDLE released = c.release();
    EXPECT_EQ(released, Fake(2));
    EXPECT_EQ(g_closed, 1);
    counted_handle d(Fake(3));
    *d.put() = Fake(4);  // put closes what was held first
    EXPECT_EQ(g_closed, 2);
  }
  EXPECT_EQ(g_closed, 3);  // d's 4
}

TEST(Win32Handles, RealHandlesAndTaskMemory) {
  unique_kernel_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  HANDLE raw = event.get();
  event.reset();
  EXPECT_EQ(WaitForSingleObject(raw, 0), WAIT_FAILED);  // really closed

  unique_file none(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(none);

  unique_cotaskmem<wchar_t> text(static_cast<wchar_t*>(CoTaskMemAlloc(16)));
  EXPECT_TRUE(text);
  unique_cotaskmem<wchar_t> moved(std::move(text));
  EXPECT_FALSE(text);
  EXPECT_TRUE(moved);
}

int g_evaluations = 0;
HRESULT Count(HRESULT hr) {
  ++g_evaluations;
  return hr;
}
HRESULT Twice(HRESULT first, HRESULT second) {
  RETURN_IF_FAILED(Count(first));
  RETURN_IF_FAILED(Count(second));
  return S_FALSE;
}

TEST(Win32Handles, ReturnIfFailedEvaluatesOnceAndPassesTheStatusOn) {
  g_evaluations = 0;
  EXPECT_EQ(Twice(S_OK, S_OK), S_FALSE);
  EXPECT_EQ(g_evaluations, 2);
  g_evaluations = 0;
  EXPECT_EQ(Twice(E_ACCESSDENIED, S_OK), E_ACCESSDENIED);
  EXPECT_EQ(g_evaluations, 1);
  g_evaluations = 0;
  EXPECT_EQ(Twice(S_FALSE, E_OUTOFMEMORY), E_OUTOFMEMORY);  // S_FALSE is a success
  EXPECT_EQ(g_evaluations, 2);
}

}  // namespace
