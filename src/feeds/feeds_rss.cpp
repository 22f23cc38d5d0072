#include "feeds/feeds.h"
