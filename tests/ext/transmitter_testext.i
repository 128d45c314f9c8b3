/* Test-only module: a seeded loss at a transmitter's sending end, to test
 * the resend road end to end. Takes the device-side module's transmitters
 * through the shared type table: import tarn_edge_310 first. Never
 * installed. */
%module tarn_transmitter_testext

/* The runtime as the modules have it (warnings as errors included). */
%include "core/typemaps/runtime_fixes.i"
%include "core/typemaps/objects.i"
%include "core/typemaps/lifetime.i"

%include <stdint.i>

%{
#include "ZuTransmitterGEV.h"
#include "tarn/Transmitter.h"

#include <memory>
#include <mutex>
#include <random>
%}

class ZuTransmitterGEV;

%inline %{
/* Data packets aFirst..aLast of every block are lost on their first
 * sending at the share aShare, as a generator seeded with aSeed decides;
 * resent packets always leave. A share of 0 ends the loss. */
void drop_packets(ZuTransmitterGEV *aTransmitter, double aShare, uint32_t aSeed, uint32_t aFirst, uint32_t aLast)
{
  if (!aTransmitter) return;
  if (aShare <= 0) {
    tarn::transmitter::SetDropFilter(*aTransmitter, nullptr);
    return;
  }
  auto generator = std::make_shared<std::mt19937>(aSeed);
  tarn::transmitter::SetDropFilter(*aTransmitter, [=](uint64_t, uint32_t aPacket, bool aResend) {
    if (aResend || aPacket < aFirst || aPacket > aLast) return false;
    return std::uniform_real_distribution<double>(0, 1)(*generator) < aShare;
  });
}

uint64_t packets_resent(ZuTransmitterGEV *aTransmitter)
{
  return aTransmitter ? tarn::transmitter::PacketsResent(*aTransmitter) : 0;
}
%}
