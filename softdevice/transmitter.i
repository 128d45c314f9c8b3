/* The stand-alone stream transmitter, its interface, and the control
 * responder that serves packet resends for transmitters.
 *
 * Every operation releases the interpreter lock; no SDK thread of this
 * family calls Python.
 *
 * What the SDK keeps of Python objects stays alive while it may use them:
 * a buffer queued for sending until the transmitter lets go of it (handed
 * back by RetrieveFreeBuffer, or the transmitter destroyed), a transmitter
 * added to a responder as long as the responder's proxy. */

%{
#include "ZuTransmitterGEV.h"
#include "ZuVirtualDeviceGEV.h"
#include "tarn/Transmitter.h"
%}

/* ---- Buffers held while a transmitter may send them ---------------------- */

%fragment("Tarn_TransmitterHolds", "header", fragment="Tarn_Lifetime") %{
#include <map>
#include <mutex>
/* One table per transmitter, shared with the transmitter's release hook: a
 * share of each queued buffer's Python object, one per QueueBuffer. The hook
 * runs without the interpreter lock; the share it takes out is let go after
 * the table's mutex, and the share's release takes the lock itself. */
struct Tarn_QueuedBuffers {
  std::mutex lock;
  std::multimap<ZuBuffer *, std::shared_ptr<void>> held;
};
SWIGINTERN std::map<ZuTransmitterGEV *, std::shared_ptr<Tarn_QueuedBuffers>> &Tarn_TransmitterTables()
{
  static auto *tables = new std::map<ZuTransmitterGEV *, std::shared_ptr<Tarn_QueuedBuffers>>();
  return *tables;
}
SWIGINTERN void Tarn_WatchTransmitter(ZuTransmitterGEV *transmitter)
{
  auto table = std::make_shared<Tarn_QueuedBuffers>();
  Tarn_TransmitterTables()[transmitter] = table;
  tarn::transmitter::SetBufferReleaseHook(*transmitter, [table](ZuBuffer *buffer) {
    std::shared_ptr<void> gone;
    {
      std::lock_guard<std::mutex> guard(table->lock);
      auto it = table->held.find(buffer);
      if (it == table->held.end()) return;
      gone = std::move(it->second);
      table->held.erase(it);
    }
  });
}
/* Held before the call, so that a buffer freed at once finds its share;
 * given back when the transmitter refused it. */
SWIGINTERN std::multimap<ZuBuffer *, std::shared_ptr<void>>::iterator
Tarn_HoldQueued(ZuTransmitterGEV *transmitter, ZuBuffer *buffer, PyObject *obj, bool &held)
{
  held = false;
  auto found = Tarn_TransmitterTables().find(transmitter);
  if (!buffer || found == Tarn_TransmitterTables().end()) return {};
  std::lock_guard<std::mutex> guard(found->second->lock);
  held = true;
  return found->second->held.emplace(buffer, Tarn_HoldObject(obj));
}
SWIGINTERN void Tarn_UnholdQueued(ZuTransmitterGEV *transmitter, std::multimap<ZuBuffer *, std::shared_ptr<void>>::iterator it)
{
  auto found = Tarn_TransmitterTables().find(transmitter);
  if (found == Tarn_TransmitterTables().end()) return;
  std::shared_ptr<void> gone;
  std::lock_guard<std::mutex> guard(found->second->lock);
  gone = std::move(it->second);
  found->second->held.erase(it);
}
%}
%fragment("Tarn_TransmitterHolds");

%exception ZuTransmitterGEV::ZuTransmitterGEV {
  $action
  if (result) Tarn_WatchTransmitter(result);
}
/* The destructor hands every buffer it still holds to the hook, with the
 * lock released; the table goes once the transmitter has. */
%feature("action") ZuTransmitterGEV::~ZuTransmitterGEV {
  delete arg1;
  {
    SWIG_PYTHON_THREAD_BEGIN_BLOCK;
    Tarn_TransmitterTables().erase(arg1);
    SWIG_PYTHON_THREAD_END_BLOCK;
  }
}
%feature("action") IZuTransmitterGEV::~IZuTransmitterGEV {
  ZuTransmitterGEV *tarn_transmitter = dynamic_cast<ZuTransmitterGEV *>(arg1);
  delete arg1;
  {
    SWIG_PYTHON_THREAD_BEGIN_BLOCK;
    Tarn_TransmitterTables().erase(tarn_transmitter);
    SWIG_PYTHON_THREAD_END_BLOCK;
  }
}
%exception ZuTransmitterGEV::QueueBuffer {
  bool tarn_held = false;
  auto tarn_hold = Tarn_HoldQueued(arg1, arg2, swig_obj[1], tarn_held);
  $action
  if (tarn_held && !result.IsOK()) Tarn_UnholdQueued(arg1, tarn_hold);
}

%include "IZuTransmitterGEV.h"
%include "ZuTransmitterGEV.h"

%exception ZuTransmitterGEV::ZuTransmitterGEV;
%exception ZuTransmitterGEV::QueueBuffer;

/* ---- The control responder ----------------------------------------------- */

/* A transmitter added stays alive with the responder's proxy: the
 * responder's thread may hand it packet resends until the responder goes. */
%exception ZuVirtualDeviceGEV::AddTransmitterGEV {
  $action
  if (result.IsOK()) Tarn_HoldItems(swig_obj[0], swig_obj[1]);
}

%include "ZuVirtualDeviceGEV.h"

%exception ZuVirtualDeviceGEV::AddTransmitterGEV;
