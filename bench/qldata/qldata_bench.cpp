// How many QLDATA messages one core parses per second, over a mix of the
// message shapes a server sends.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "reception/Qldata.h"

int main() {
  const std::vector<std::string> messages = {
      "16T1136073600+324005Dwgs846Udegree8B35.658189L139.745422N_JpNHXQ_",
      "12T1000000000-05Dtokyo3Udms11B+35.39.29.511L-139.44.1.02F3D4a12.53b1.51c71d82e454Nnote",
      "16T1136073600+324005DWGS846UDEGREE9B-33.868810L151.209296a58.2503b4.51c3"
      "26N_JpNHXQAjeAkcAkEAjGAjuAkSAjiAkGAjiAkGAjuAjSAjeAjqAkSAjGAjuAkc_",
  };
  using Clock = std::chrono::steady_clock;
  double checksum = 0.0;
  long parsed = 0;
  const auto start = Clock::now();
  auto elapsed = Clock::duration::zero();
  while (elapsed < std::chrono::seconds(2)) {
    for (int round = 0; round < 10000; ++round) {
      for (const std::string& message : messages) {
        checksum += ParseQldataMessage(message).position.latitude.ToDegrees();
        ++parsed;
      }
    }
    elapsed = Clock::now() - start;
  }
  const double seconds = std::chrono::duration<double>(elapsed).count();
  std::printf("QLDATA messages parsed per second: %.0f (%ld in %.2f s, checksum %g)\n",
              parsed / seconds, parsed, seconds, checksum);
  return 0;
}
