// The pointer-reload notification: makes the desktop reload every pointer from the settings.
#pragma once

namespace pivora {

class PointerReloader {
 public:
  virtual ~PointerReloader() = default;
  // SystemParametersInfoW(SPI_SETCURSORS, 0, nullptr, SPIF_SENDCHANGE); the result is not used.
  virtual void ReloadPointers() = 0;
};

}  // namespace pivora
