#include "commandline.h"
#include "commandrunner.h"

#include <iostream>

int main(int argc, char* argv[])
{
    using namespace qfs::cli;
    const auto parsed = CommandLine::parse(argc, argv, std::cout, std::cerr);
    if (const auto* status = std::get_if<ExitStatus>(&parsed))
        return *status;
    return CommandRunner(std::cout, std::cerr).run(std::get<Command>(parsed));
}
