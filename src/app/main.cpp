#include "Application.h"

int main(int argc, char** argv)
{
    return RunConfigurator(argc, argv);
}
