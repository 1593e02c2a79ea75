// A named channel of method calls over a BinaryMessenger.
//
// The registered message handler carries its own copies of the channel name, the
// codec pointer and the method-call handler, so this object may be discarded
// after SetMethodCallHandler. The messenger and the codec are not owned and must
// outlive the registration.
#ifndef CHANNEL_METHOD_CHANNEL_H_
#define CHANNEL_METHOD_CHANNEL_H_

#include <string>

#include "channel/binary_messenger.h"
#include "channel/method_codec.h"
#include "channel/method_result.h"

namespace duzavide {

class MethodChannel {
 public:
  MethodChannel(BinaryMessenger* messenger, const std::string& name, const MethodCodec* codec);

  // Decodes each message on this channel into a MethodCall and hands it to
  // `handler` with a result that answers through the messenger. An empty handler
  // unregisters the channel.
  void SetMethodCallHandler(MethodCallHandler handler) const;

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec* codec_;
};

}  // namespace duzavide

#endif  // CHANNEL_METHOD_CHANNEL_H_
