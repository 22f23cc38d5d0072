#include "locale/locale.h"
