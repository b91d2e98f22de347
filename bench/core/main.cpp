// korvex_core_loops DIR: runs the named loops over the input columns in DIR, one command a line
// on standard input, so that the driver can interleave them with the Python calls it compares:
//
//   NAME N REPS [out=PATH] [key=value ...]  ->  NAME N NS
//
// NS is the mean nanoseconds per element over REPS timed runs in a row (after one untimed run
// that touches every page): one round, as the driver times a round of Python calls; out=PATH also
// writes the N results there as raw float64. A bad command
// answers "error: ..." and the next one is read.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "inputs.hpp"
#include "loops.hpp"

namespace {

using korvex::bench::Inputs;
using korvex::bench::Options;

struct Command {
    std::string name;
    std::size_t n = 0;
    int reps = 0;
    std::string out;
    Options options;
};

Command parse(const std::string& line) {
    std::istringstream words(line);
    Command command;
    if (!(words >> command.name >> command.n >> command.reps) || command.reps < 1) {
        throw std::runtime_error("expected NAME N REPS [key=value ...]");
    }
    for (std::string word; words >> word;) {
        const auto eq = word.find('=');
        if (eq == std::string::npos) throw std::runtime_error("not key=value: " + word);
        const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
        if (key == "out") {
            command.out = value;
        } else {
            command.options[key] = std::stod(value);
        }
    }
    return command;
}

double mean_ns_per_element(const korvex::bench::Loop& loop, std::vector<double>& out, int reps) {
    loop(out);
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < reps; ++r) loop(out);
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / reps / static_cast<double>(std::max<std::size_t>(out.size(), 1));
}

void run(const std::string& line, Inputs& inputs) {
    const Command command = parse(line);
    const auto loop = korvex::bench::make_loop(command.name, inputs, command.n, command.options);
    if (!loop) throw std::runtime_error("unknown loop " + command.name);
    std::vector<double> out(command.n);
    const double ns = mean_ns_per_element(*loop, out, command.reps);
    if (!command.out.empty()) {
        std::ofstream file(command.out, std::ios::binary);
        file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size() * sizeof(double)));
        if (!file) throw std::runtime_error("cannot write " + command.out);
    }
    std::cout << command.name << ' ' << command.n << ' ' << ns << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: korvex_core_loops DIR (commands on standard input); loops:";
        for (const auto& name : korvex::bench::loop_names()) std::cerr << ' ' << name;
        std::cerr << '\n';
        return 2;
    }
    Inputs inputs(argv[1]);
    for (std::string line; std::getline(std::cin, line);) {
        if (line.empty()) continue;
        try {
            run(line, inputs);
        } catch (const std::exception& e) {
            std::cout << "error: " << e.what() << std::endl;
        }
    }
    return 0;
}
