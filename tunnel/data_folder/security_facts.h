// An object's owner and access list as read from its security descriptor, in
// plain values, so that the rules that judge them need no system call and run
// in every build. ReadSecurityFacts (security_descriptors.h) reads them from a
// real descriptor.
#ifndef TUNNEL_DATA_FOLDER_SECURITY_FACTS_H_
#define TUNNEL_DATA_FOLDER_SECURITY_FACTS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace duzavide {

// The access rights an entry's mask may hold, with the system's values, that
// change a file or folder or who may use it.
namespace access_right {
inline constexpr uint32_t kWriteData = 0x2;   // on a folder: add a file
inline constexpr uint32_t kAppendData = 0x4;  // on a folder: add a folder
inline constexpr uint32_t kWriteExtendedAttributes = 0x10;
inline constexpr uint32_t kDeleteChild = 0x40;
inline constexpr uint32_t kWriteAttributes = 0x100;
inline constexpr uint32_t kDelete = 0x10000;
inline constexpr uint32_t kWriteAccessList = 0x40000;
inline constexpr uint32_t kWriteOwner = 0x80000;
inline constexpr uint32_t kGenericAll = 0x10000000;
inline constexpr uint32_t kGenericWrite = 0x40000000;
}  // namespace access_right

// One entry of an access list, in list order.
struct AccessEntry {
  enum class Kind {
    kAllow,          // a plain or callback allow entry: grants `mask` to `grantee`
    kDeny,           // a deny entry of any kind: grants nothing
    kNotUnderstood,  // any other kind (object entries and the like); `grantee` unread
    kUnreadable,     // the entry could not be read; no entry follows it
  };
  Kind kind = Kind::kUnreadable;
  bool inherit_only = false;  // only passed on to children: it does not apply to the object
  uint32_t mask = 0;          // every kind of entry carries one
  std::string grantee;        // SID text ("S-1-5-32-545"), or "an unreadable account"
};

struct SecurityFacts {
  bool readable = false;  // false: no valid descriptor; everything below is empty
  // The owner's SID text, or "an unreadable account"; "" when the descriptor
  // names no owner.
  std::string owner;
  // False when the descriptor carries no access list (or a null one): then
  // everyone may do everything. A list that could not be read at all holds one
  // entry of kind kUnreadable.
  bool has_list = false;
  std::vector<AccessEntry> entries;
};

}  // namespace duzavide

#endif  // TUNNEL_DATA_FOLDER_SECURITY_FACTS_H_
