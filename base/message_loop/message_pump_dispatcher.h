#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_DISPATCHER_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_DISPATCHER_H_

#include <stdint.h>

struct tagMSG;

namespace base {

// Sees each window message that a window pump takes from the queue during a
// run loop that was given this dispatcher, and decides what becomes of it.
class MessagePumpDispatcher {
 public:
  // Bits of the result of Dispatch.
  enum Action : uint32_t {
    // The message is consumed.
    kActionNone = 0,
    // The run ends after this message.
    kActionQuitLoop = 1,
    // The pump translates and dispatches the message as usual.
    kActionPerformDefault = 2,
  };

  virtual ~MessagePumpDispatcher() = default;

  // Returns a combination of Action bits.
  virtual uint32_t Dispatch(const tagMSG& message) = 0;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_DISPATCHER_H_
