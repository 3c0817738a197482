#include "platform/os/machinename.h"

#include <climits>

#include <unistd.h>

std::string MachineName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}
