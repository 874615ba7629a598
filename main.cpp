#include "display/display.h"

int main(int argc, char** argv)
{
    const char* const* arguments = argv;
    ferrik::take_command_line(&argc, &arguments);
    return ferrik::run_display(argc, arguments);
}
