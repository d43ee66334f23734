// tessaro region list [CODE]: the channel plans the library knows, in MHz.
// Talks to no reader.
#include <cstdio>

#include "cli.h"
#include "session.h"
#include "settings_words.h"

namespace tessaro::cli {

namespace {

std::string megahertz(const std::string &channel) { return channel.substr(0, channel.find(' ')); }

int runList(Session &session, const std::string &which) {
    const Output &out = session.out();
    for (const RegionPlan &plan : regionPlans()) {
        if (!which.empty() && findRegion(which) != &plan) continue;
        Json channels = Json::array();
        for (const std::string &channel : plan.channels) channels.push_back(std::stod(channel));
        out.record(Json{{"code", plan.code},
                        {"name", plan.name},
                        {"description", plan.description},
                        {"channelsMHz", channels}});
        char line[128];
        std::snprintf(line, sizeof line, "%d  %-6s %-10s %2zu channels, %s to %s MHz", plan.code,
                      plan.name, plan.description, plan.channels.size(),
                      megahertz(plan.channels.front()).c_str(),
                      megahertz(plan.channels.back()).c_str());
        out.text(line);
        if (which.empty()) continue;
        for (size_t i = 0; i < plan.channels.size(); ++i)
            out.text("   " + std::string(i < 10 ? " " : "") + std::to_string(i) + "  " +
                     plan.channels[i]);
    }
    return kExitOk;
}

}  // namespace

void add_region_command(CLI::App &app, Cli &cli) {
    auto which = std::make_shared<std::string>();
    CLI::App *command = app.add_subcommand("region", "The region channel plans.");
    command->require_subcommand(1);
    CLI::App *list = command->add_subcommand(
        "list", "The five region plans; with CODE (1 to 5 or a name) every channel of one");
    list->add_option("code", *which, "a region: 1 to 5, us, eu, china, korea, japan");
    list->callback([&cli, which] {
        if (!which->empty() && !findRegion(*which))
            throw CLI::ValidationError("code", "'" + *which + "' is no region: 1 to 5, us, eu, china, korea or japan");
        cli.needsReader = false;
        cli.action = [which](Session &session) { return runList(session, *which); };
    });
}

}  // namespace tessaro::cli
