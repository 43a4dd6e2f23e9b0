// Windows: the calculators on WinUSB (07CF:6101), beside those reached
// through their volume.
#pragma once

#include "serial/usb.h"

UsbBus& WinUsbDevices();
