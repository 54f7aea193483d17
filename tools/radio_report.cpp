#include "tools/radio_report.h"

#include <stdio.h>

namespace vannor::sim {

namespace {

void ReportEnd(const EndedImage& ended) {
  printf("image ended after %u bytes%s\n", ended.length,
         ended.faultPlayed ? " (fault played)" : "");
}

}  // namespace

void ReportChanges(const RadioRecord& before, const RadioRecord& now, const EndedImage* ended) {
  if (now.versionRequests != before.versionRequests) {
    printf("version read answered (%u so far)\n", now.versionRequests);
  }
  // An image that ended before the latest request came is told before that request.
  const bool endFirst = ended != nullptr && ended->writeRequest < now.writeRequests;
  if (endFirst) ReportEnd(*ended);
  if (now.writeRequests != before.writeRequests) {
    printf("image write requested, mask 0x%02X\n", now.mask);
  }
  if (ended != nullptr && !endFirst) ReportEnd(*ended);
  if (now.strayBytes != before.strayBytes) {
    printf("%u stray bytes so far\n", now.strayBytes);
  }
  if (now.protocolErrors != before.protocolErrors) {
    printf("protocol error: no ENQ after the first ACK\n");
  }
  fflush(stdout);
}

}  // namespace vannor::sim
