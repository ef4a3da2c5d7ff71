// The sample release's client program: what a user of the service would
// start after the installation. It says which release it belongs to.
#include <cstdio>

int main() {
  std::printf("HoVane sample client, release %s\n", HOVANE_SAMPLE_RELEASE);
  return 0;
}
