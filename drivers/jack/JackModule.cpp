// The JACK module's exports: one class, registered as "JACK".
#include "drivers/jack/JackDriver.h"
#include "drivers/kit/ClassFactory.h"

namespace {

// {EAD3AE35-3C6F-429C-B960-650B9B43EECA}, as in the registration.
constexpr CLSID kClsidJackDriver = {
    0xead3ae35, 0x3c6f, 0x429c, {0xb9, 0x60, 0x65, 0x0b, 0x9b, 0x43, 0xee, 0xca}};

} // namespace

TONEWRIGHT_DRIVER_CLASSES({kClsidJackDriver, CreateJackDriver})
