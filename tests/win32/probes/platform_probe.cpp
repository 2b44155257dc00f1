// Exits with the platform number the kit sees, or 100 when the query fails.
#include "support/exceptions_Tavelock.h"
#include "support/routines_API.h"

int main() {
  try {
    return WindowsPlatform();
  } catch (const EAPIRoutines&) {
    return 100;
  }
}
