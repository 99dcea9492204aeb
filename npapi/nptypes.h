#pragma once

// Fixed-width integer and boolean types shared by the browser and the plug-in.

#include <stdbool.h>
#include <stdint.h>
