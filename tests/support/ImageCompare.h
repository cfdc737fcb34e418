// Pictures compared with reference PNG files kept beside a layer's tests, in
// $CW_TEST_DATA/reference/<name>.png. Set CW_UPDATE_REFERENCES=1 to write the references from the
// pictures instead (and look at them before committing).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/Graphics.h"

// Pixels whose channels differ by more than 48 count as different; at most maxShare of them may
// (anti-aliased text edges move a little between font-library versions). A failing picture is
// written beside the temporary folder's copy for a look.
::testing::AssertionResult MatchesReference(const TBitmap& picture, const std::string& name, double maxShare = 0.01);
