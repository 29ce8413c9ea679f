// The names the Qt tests use, in scope: the control's, its Qt platform's and the shared set-up's.
#pragma once

#include "qt_test_support.h"

#include <QToolButton>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;
