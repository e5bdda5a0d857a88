#include "Application.h"
#include "StandardStreams.h"

int main(int argc, char** argv)
{
    if (!OpenClosedStandardStreams())
        return 1;
    return RunConfigurator(argc, argv);
}
