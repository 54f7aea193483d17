#include "tools/radio_report.h"

#include <stdio.h>

namespace vannor::sim {

void ReportChanges(const RadioRecord& before, const RadioRecord& now) {
  if (now.versionRequests != before.versionRequests) {
    printf("version read answered (%u so far)\n", now.versionRequests);
  }
  if (now.writeRequests != before.writeRequests) {
    printf("image write requested, mask 0x%02X\n", now.mask);
  }
  if (now.imageOver && (!before.imageOver || now.writeRequests != before.writeRequests)) {
    printf("image ended after %u bytes%s\n", now.imageLength,
           now.faultPlayed ? " (fault played)" : "");
  }
  if (now.strayBytes != before.strayBytes) {
    printf("%u stray bytes so far\n", now.strayBytes);
  }
  if (now.protocolErrors != before.protocolErrors) {
    printf("protocol error: no ENQ after the first ACK\n");
  }
  fflush(stdout);
}

}  // namespace vannor::sim
