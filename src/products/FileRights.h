// The rights an account holds on a file or folder, as a set of seven elements
// held in one byte, and the four mappings between such sets and Windows access
// masks: specific file rights (FILE_ALL_ACCESS and its parts) for what applies
// to the object itself, generic rights (GENERIC_ALL and its parts) for what a
// folder hands down to the files created in it.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace slv2 {

enum TFileRight : uint8_t {
  frRead,
  frWrite,
  frExecute,
  frDelete,
  frChangePermissions,
  frTakeOwnership,
  frFullControl,
};

// A set of rights; bit n of Byte() is element n.
class TFileRights {
 public:
  constexpr TFileRights() = default;
  constexpr TFileRights(std::initializer_list<TFileRight> rights) {
    for (TFileRight right : rights)
      Include(right);
  }
  static constexpr TFileRights FromByte(uint8_t bits) {
    TFileRights rights;
    rights.bits_ = bits & 0x7F;
    return rights;
  }

  constexpr uint8_t Byte() const { return bits_; }
  constexpr bool Contains(TFileRight right) const { return bits_ & Bit(right); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr void Include(TFileRight right) { bits_ |= Bit(right); }
  friend constexpr bool operator==(TFileRights, TFileRights) = default;

 private:
  static constexpr uint8_t Bit(TFileRight right) { return uint8_t(1u << right); }
  uint8_t bits_ = 0;
};

// Windows access mask bits the mappings are made of.
enum : uint32_t {
  kFileAllAccess = 0x1F01FF,
  kFileGenericRead = 0x120089,
  kFileGenericWrite = 0x120116,
  kFileGenericReadWrite = 0x12019F,
  kFileGenericExecute = 0x1200A0,
  kDeleteAccess = 0x10000,
  kWriteDacAccess = 0x40000,
  kWriteOwnerAccess = 0x80000,
  kGenericAll = 0x10000000,
  kGenericExecute = 0x20000000,
  kGenericWrite = 0x40000000,
  kGenericRead = 0x80000000,
};

// Specific rights: FILE_ALL_ACCESS alone gives {frFullControl}; otherwise an
// element for each of its masks whose bits are all present.
TFileRights AccessMaskToRights(uint32_t mask);
// Generic rights: GENERIC_ALL alone gives {frFullControl}; otherwise an
// element for each of its bits present.
TFileRights GenericMaskToRights(uint32_t mask);
// {frFullControl} alone gives FILE_ALL_ACCESS; frFullControl beside other
// elements is ignored.
uint32_t RightsToAccessMask(TFileRights rights);
// {frFullControl} alone gives GENERIC_ALL; frFullControl beside other
// elements is ignored.
uint32_t RightsToGenericMask(TFileRights rights);

}  // namespace slv2
