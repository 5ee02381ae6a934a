#pragma once
// The common root of every message class. A message object is plain data; its
// XML shape is described by the constant member table of its class, which the
// message writer and reader walk. The virtual accessor lets the pipeline write
// an answer by the class it actually holds.
namespace kelvo::api::xml {

struct ClassInfo;  // the member table of one message class (MemberTable.h)

class MessageObject {
 public:
  virtual ~MessageObject() = default;

  // The member table of the object's own (most derived) class.
  virtual const ClassInfo& GetClassInfo() const = 0;

 protected:
  MessageObject() = default;
  MessageObject(const MessageObject&) = default;
  MessageObject& operator=(const MessageObject&) = default;
  MessageObject(MessageObject&&) = default;
  MessageObject& operator=(MessageObject&&) = default;
};

}  // namespace kelvo::api::xml
