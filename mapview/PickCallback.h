// How a map pick tool hands back its one result.
#pragma once

class CPickCallback {
 public:
  virtual ~CPickCallback() = default;
  virtual void OnPickCancelled() = 0;
  // result points to a CGeoRect for a rectangle pick and to a
  // {latitude, longitude} pair of doubles for a point pick. A callback made
  // for one pick deletes itself in whichever operation is called.
  virtual void OnPicked(const void* result) = 0;
};
