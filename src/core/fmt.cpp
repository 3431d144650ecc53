#include "core/fmt.h"
