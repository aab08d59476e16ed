#include <iostream>

#include "cli_app.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    return dl250t::cli::runCli({argv + 1, argv + argc}, std::cin, std::cout, std::cerr);
}
