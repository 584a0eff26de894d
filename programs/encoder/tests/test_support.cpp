#include "programs/encoder/tests/test_support.h"
