// The basic types of the class library and the few numeric routines every unit uses.
//
// Widths follow the system's data model: Integer and Cardinal stay 32 bits on this 64-bit
// platform, pointers do not. String is a counted text of single-byte characters.
//
// Extended is `long double`: on x86-64 Linux that is the same 80-bit format the system's
// Extended was written for, so sums and products of tempos and positions round the way
// they always did. Everything takes a double as well through the usual conversions.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

using Integer = std::int32_t;
using Cardinal = std::uint32_t;
using Longint = std::int32_t;
using LongWord = std::uint32_t;
using Word = std::uint16_t;
using Byte = std::uint8_t;
using Smallint = std::int16_t;
using Shortint = std::int8_t;
using Int64 = std::int64_t;
using Boolean = bool;
using Extended = long double;
using Double = double;
using Single = float;
using String = std::string;
using Pointer = void*;
using NativeInt = std::intptr_t;

// The root of every class of the library. Objects are not copied: they are owned.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
  // The class name without namespace, as the system's error texts show it ("TButton").
  String ClassName() const;
};

// Nearest integer, halves to the even neighbour (2.5 gives 2, 3.5 gives 4, -0.5 gives 0).
Int64 Round(Extended X);
// Toward zero (2.9 gives 2, -2.9 gives -2).
Int64 Trunc(Extended X);
// The fractional and integral parts, with the sign of X.
Extended Frac(Extended X);
Extended Int(Extended X);

// A small set over an enumeration whose values are below 64, as the system's `set of`
// types: membership with Contains, exact comparison with ==.
template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E e : items) bits_ |= Bit(e);
  }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TSet& Include(E e) {
    bits_ |= Bit(e);
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    bits_ &= ~Bit(e);
    return *this;
  }
  constexpr TSet operator+(TSet o) const { return FromBits(bits_ | o.bits_); }
  constexpr TSet operator-(TSet o) const { return FromBits(bits_ & ~o.bits_); }
  constexpr TSet operator*(TSet o) const { return FromBits(bits_ & o.bits_); }
  constexpr TSet& operator+=(TSet o) {
    bits_ |= o.bits_;
    return *this;
  }
  constexpr TSet& operator-=(TSet o) {
    bits_ &= ~o.bits_;
    return *this;
  }
  constexpr bool operator==(const TSet& o) const = default;
  constexpr std::uint64_t Bits() const { return bits_; }
  static constexpr TSet FromBits(std::uint64_t bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }

 private:
  static constexpr std::uint64_t Bit(E e) { return std::uint64_t{1} << static_cast<unsigned>(e); }
  std::uint64_t bits_ = 0;
};

// The seed of Random; tests write it to get a known sequence.
extern Cardinal RandSeed;
// Seeds Random from the time of day in milliseconds.
void Randomize();
// A number in 0 .. Range - 1 (0 when Range is 0 or less).
Integer Random(Integer Range);
// A number in [0, 1).
Extended Random();
