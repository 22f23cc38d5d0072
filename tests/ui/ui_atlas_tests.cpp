#include "ui_driver.h"

#include <gtest/gtest.h>
