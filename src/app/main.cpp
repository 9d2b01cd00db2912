#include <unistd.h>

#include "app/run.hpp"
#include "io/output.hpp"

int main(int argc, char** argv) {
    asfinspect::io::Output out(STDOUT_FILENO);
    asfinspect::io::Output err(STDERR_FILENO);
    return asfinspect::app::run(argc, argv, out, err);
}
