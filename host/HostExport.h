// Symbol visibility for the host library. The library is built with hidden
// visibility; every class and function the host promises carries DX_HOST_API.
#pragma once

#define DX_HOST_API __attribute__((visibility("default")))
