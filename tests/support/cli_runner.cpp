#include "tests/support/cli_runner.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace tambelo::testing {
namespace {

std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (const char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

}  // namespace

std::vector<std::string> CliRun::out_lines() const
{
    std::vector<std::string> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

std::string CliRun::first_err_line() const
{
    return err.substr(0, err.find('\n'));
}

CliRun run_program(const std::string& program, const std::vector<std::string>& arguments)
{
    CliRun run;
    char err_path[] = "/tmp/tambelo-stderr-XXXXXX";
    const int err_file = mkstemp(err_path);
    if (err_file < 0)
        return run;
    close(err_file);

    std::string command = quoted(program);
    for (const auto& argument : arguments)
        command += " " + quoted(argument);
    command += " 2>" + quoted(err_path);

    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            run.out.append(buffer, count);
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream err(err_path);
    std::stringstream text;
    text << err.rdbuf();
    run.err = text.str();
    std::remove(err_path);
    return run;
}

std::vector<std::string> split_words(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

}  // namespace tambelo::testing
