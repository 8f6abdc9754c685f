// OrbeloLive6: the classroom client.
#include <QApplication>

#include "launch/program_folders.h"
#include "program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    orb::TProgramOptions options;
    options.executable = orb::ExecutablePath(argv[0]);
    for (int i = 1; i < argc; ++i) options.args.emplace_back(argv[i]);
    orb::TProgram program(std::move(options));
    program.CreateForms();
    return program.Run();
}
