// The comrt::Error a call raises; a test failure when it raises none.
#pragma once
#include <gtest/gtest.h>

#include "com/error.h"

template <typename Call>
comrt::Error ErrorOf(Call call) {
  try {
    call();
  } catch (const comrt::Error& error) {
    return error;
  }
  ADD_FAILURE() << "no error raised";
  return comrt::Error(0, "");
}
