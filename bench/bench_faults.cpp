// The whole fault campaign on the default image with the quick-run flag:
// wall time and faults per second, on one thread and on every core.
#include <chrono>
#include <cstdio>
#include <thread>

#include "faults/campaign.h"
#include "image/build.h"

int main() {
  using namespace r3k;
  const Image image = build_image(kDefaultSeed);
  const std::vector<uint8_t> boot = image.boot_bytes();
  const faults::ImageShape shape = faults::shape_of(image, faults::ImageKind::main);
  std::vector<const faults::CatalogFault*> all;
  for (const faults::CatalogFault& fault : faults::catalog()) all.push_back(&fault);
  for (const unsigned threads : {1u, std::max(1u, std::thread::hardware_concurrency())}) {
    faults::CampaignOptions options;
    options.threads = threads;
    const auto start = std::chrono::steady_clock::now();
    const faults::Campaign campaign = faults::run_campaign(boot, shape, all, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    uint64_t instructions = campaign.baseline.instructions;
    for (const faults::FaultResult& r : campaign.results) instructions += r.run.instructions;
    std::printf("faults campaign, %u thread(s): %zu faults in %.2f s, %.0f faults/s, %.0f M instructions/s\n", threads,
                campaign.results.size(), seconds, double(campaign.results.size()) / seconds,
                double(instructions) / seconds / 1e6);
  }
}
