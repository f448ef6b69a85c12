#pragma once
// The exception family. Every error the program raises derives from
// Exception, so one catch in a window shows any of them.

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

#define SW_DECLARE_EXCEPTION(Name, Base)                                  \
  class Name : public Base {                                              \
   public:                                                                 \
    explicit Name(const std::string& message) : Base(message) {}          \
  };

// Streams and files.
SW_DECLARE_EXCEPTION(EStreamError, Exception)
SW_DECLARE_EXCEPTION(EReadError, EStreamError)
SW_DECLARE_EXCEPTION(EWriteError, EStreamError)
SW_DECLARE_EXCEPTION(EFOpenError, EStreamError)
SW_DECLARE_EXCEPTION(EFCreateError, EStreamError)
SW_DECLARE_EXCEPTION(EInOutError, Exception)

// Numbers, lists and ranges.
SW_DECLARE_EXCEPTION(ERangeError, Exception)
SW_DECLARE_EXCEPTION(EConvertError, Exception)
SW_DECLARE_EXCEPTION(EListError, Exception)
SW_DECLARE_EXCEPTION(EZeroDivide, Exception)
SW_DECLARE_EXCEPTION(EOutOfResources, Exception)

// Pictures and their codecs.
SW_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
SW_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)
SW_DECLARE_EXCEPTION(EGraphicCompression, Exception)
SW_DECLARE_EXCEPTION(EColorConversionError, Exception)
SW_DECLARE_EXCEPTION(GIFException, EInvalidGraphic)
SW_DECLARE_EXCEPTION(EPNGImageException, EInvalidGraphic)
SW_DECLARE_EXCEPTION(EJPEG, EInvalidGraphic)

#undef SW_DECLARE_EXCEPTION
