/* Test-only module: the typemap library (core/typemaps) applied to small
 * declarations of its own, so that each mechanism is tested as the coming
 * modules will use it, including the shapes that no module uses yet.
 * Never installed. Texts and results are the base module's classes: import
 * tarn_base_310 first. */
%module(directors="1") tarn_typemaps_testext

%include "core/typemaps/typemaps.i"
TARN_IMPORT_NUMPY

%{
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

/* A plain class whose objects are counted, to see what is freed. */
struct Bag {
  static std::atomic<int> alive;
  int mItems = 0;
  Bag() { ++alive; }
  Bag(const Bag &aOther) : mItems(aOther.mItems) { ++alive; }
  ~Bag() { --alive; }
};
std::atomic<int> Bag::alive{0};

struct Animal {
  virtual ~Animal() {}
  virtual const char *Sound() const { return "..."; }
};
struct Dog : Animal {
  const char *Sound() const override { return "woof"; }
};
struct Puppy : Dog {
  const char *Sound() const override { return "yip"; }
};
struct Cat : Animal {
  const char *Sound() const override { return "meow"; }
};

enum Kind { KindNone = 0, KindDog = 1, KindCat = 2 };
/* A 32-bit code whose top bit may be set. */
enum Wide : int32_t { WideLow = 1 };
%}

/* Only the names: these are the base module's classes. */
class ZuString;
class ZuResult;

struct Bag {
  int mItems;
};
struct Animal {
  virtual ~Animal();
  virtual const char *Sound() const;
};
struct Dog : Animal {};
struct Puppy : Dog {};
struct Cat : Animal {};
enum Kind { KindNone = 0, KindDog = 1, KindCat = 2 };
enum Wide : int32_t { WideLow = 1 };

%apply int64_t &OUT_LIST { int64_t &aListed };
%apply bool &OUT_LIST { bool &aFlag };
%apply int64_t &OUT_LIST_IF_OK { int64_t &aChecked };
%apply ZuString &OUT_LIST_IF_OK { ZuString &aText };
%apply int64_t &OUT_TUPLE { int64_t &aPaired };
%apply double &OUT_TUPLE_IF_OK { double &aMin, double &aMax };
%apply uint32_t &OUT_TUPLE { uint32_t &aLow, uint32_t &aHigh, uint32_t &aStep };
%apply enum SWIGTYPE &OUT_LIST_IF_OK { Kind &aKind };
%apply const ZuString &ECHO_LIST_IF_OK { const ZuString &aEchoed };
%apply SWIGTYPE *ECHO_TUPLE_IF_OK { Bag *aHanded };
%apply uint32_t &OUT_TUPLE { Wide &aWide };
%apply SWIGTYPE &OUT_NEW_LIST { Bag &aNewBag };
%apply SWIGTYPE &OUT_LIST { Bag &aFilledBag };
%apply const SWIGTYPE **OUT_LIST { const Animal **aFound };
%apply SWIGTYPE *TARN_NOT_NULL { Animal *aRequired };
TARN_DOWNCAST(Animal, Puppy, Dog, Cat)
%newobject Shop::Adopt;

%inline %{
/* Operations whose outcome is the code given; values are written first. */
class Shop
{
public:
  Shop() : mDog(), mPuppy(), mCat() {}

  ZuResult Listed(uint32_t aCode, int64_t &aListed, bool &aFlag)
  {
    aListed = 7;
    aFlag = true;
    return ZuResult(aCode);
  }
  ZuResult Checked(uint32_t aCode, int64_t &aChecked, ZuString &aText)
  {
    aChecked = -5;
    aText = ZuString(L"seven");
    return ZuResult(aCode);
  }
  ZuResult Paired(uint32_t aCode, int64_t &aPaired)
  {
    aPaired = 1LL << 40;
    return ZuResult(aCode);
  }
  ZuResult Range(uint32_t aCode, double &aMin, double &aMax)
  {
    aMin = -1.5;
    aMax = 2.5;
    return ZuResult(aCode);
  }
  void Steps(uint32_t &aLow, uint32_t &aHigh, uint32_t &aStep)
  {
    aLow = 1;
    aHigh = 4000000000u;
    aStep = 3;
  }
  ZuResult KindOf(uint32_t aCode, Kind &aKind)
  {
    aKind = KindCat;
    return ZuResult(aCode);
  }
  ZuResult Echo(uint32_t aCode, const ZuString &aEchoed) { return ZuResult(aCode); }
  ZuResult Hand(uint32_t aCode, Bag *aHanded)
  {
    if (aHanded) aHanded->mItems = 2;
    return ZuResult(aCode);
  }
  ZuResult Widest(uint32_t aCode, Wide &aWide)
  {
    aWide = static_cast<Wide>(static_cast<int32_t>(0x80000001u));
    return ZuResult(aCode);
  }
  ZuResult NewBag(uint32_t aCode, Bag &aNewBag)
  {
    aNewBag.mItems = 3;
    return ZuResult(aCode);
  }
  /* A new bag made before a count that fails to convert. */
  ZuResult NewBagChecked(int32_t aCount, Bag &aNewBag)
  {
    aNewBag.mItems = aCount;
    return ZuResult(0);
  }
  ZuResult FillBag(uint32_t aCode, Bag &aFilledBag)
  {
    aFilledBag.mItems = 9;
    return ZuResult(aCode);
  }
  ZuResult Find(int aKind, const Animal **aFound)
  {
    *aFound = Pick(aKind);
    return ZuResult(*aFound ? 0 : 25);
  }
  Animal *Get(int aKind) { return Pick(aKind); }
  Animal *Adopt(int aKind)
  {
    if (aKind == 1) return new Dog();
    if (aKind == 3) return new Puppy();
    return nullptr;
  }
  const char *Hear(Animal *aRequired) { return aRequired->Sound(); }
  /* Which animal, by address: 1 dog, 2 cat, 3 puppy, 0 another one, -1 None. */
  int Identify(Animal *aAnimal)
  {
    if (!aAnimal) return -1;
    return aAnimal == &mDog ? 1 : aAnimal == &mCat ? 2 : aAnimal == &mPuppy ? 3 : 0;
  }

private:
  Animal *Pick(int aKind)
  {
    switch (aKind) {
      case 1: return &mDog;
      case 2: return &mCat;
      case 3: return &mPuppy;
      default: return nullptr;
    }
  }
  Dog mDog;
  Puppy mPuppy;
  Cat mCat;
};

int BagsAlive() { return Bag::alive.load(); }

/* A text's round trip; the length in wide characters. */
ZuString Text(const ZuString &aValue) { return aValue; }
uint32_t Length(const ZuString &aValue) { return aValue.GetLength(); }

/* Reads the text, waits with the interpreter lock released (the module is
 * built with threads), and reads it again: another thread that replaced
 * what the text came from meanwhile must not have freed it. */
ZuString SlowText(const ZuString &aValue)
{
  std::wstring lBefore = aValue.GetUnicode();
  std::this_thread::sleep_for(std::chrono::microseconds(200));
  std::wstring lAfter = aValue.GetUnicode();
  return ZuString(lBefore == lAfter ? lAfter.c_str() : L"changed");
}
%}

%clear int64_t &aListed, bool &aFlag, int64_t &aChecked, ZuString &aText, int64_t &aPaired, double &aMin, double &aMax;
%clear uint32_t &aLow, uint32_t &aHigh, uint32_t &aStep, Kind &aKind, const ZuString &aEchoed;
%clear Bag *aHanded, Wide &aWide;
%clear Bag &aNewBag, Bag &aFilledBag, const Animal **aFound, Animal *aRequired;
%clear Animal *, const Animal *;
