// Everything is built hidden; only what carries this mark leaves the library.
#pragma once
#define PARPORT2K_EXPORT __attribute__((visibility("default")))
