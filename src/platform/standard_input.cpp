#include "platform/standard_input.h"

#include <fcntl.h>
#include <unistd.h>

bool ReopenClosedStandardInput() {
  if (fcntl(0, F_GETFD) != -1) return false;
  const int fd = open("/dev/null", O_RDONLY);
  if (fd < 0) return false;
  // The lowest free number is 0 here; dup2 only if another thread took it.
  if (fd != 0) {
    dup2(fd, 0);
    close(fd);
  }
  return true;
}
