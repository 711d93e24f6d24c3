#include "platform/linux/x11/ClientWindows.h"

#include <algorithm>
#include <fstream>
#include <limits>

#include "platform/linux/x11/TextProperty.h"

namespace platform::x11 {

namespace {

constexpr std::uint32_t kNormalState = 1;   // ICCCM WM_STATE
constexpr std::uint32_t kIconicState = 3;
constexpr int kClientSearchDepth = 3;       // frame, wrapper, client: deep enough for common managers

// The windows of an EWMH window manager's stacking list, bottom to top; nothing when no such
// manager runs (its check window is gone or does not point at itself).
std::optional<std::vector<xcb_window_t>> managedClients(const XConnection& x) {
    const Atoms& atoms = x.atoms();
    const auto check = x.property(x.requestProperty(x.root(), atoms.netSupportingWmCheck));
    if (!check || check->type != XCB_ATOM_WINDOW || check->cardinals().size() != 1) return std::nullopt;
    const xcb_window_t wmWindow = check->cardinals().front();
    const auto selfCheck = x.property(x.requestProperty(wmWindow, atoms.netSupportingWmCheck));
    if (!selfCheck || selfCheck->cardinals() != std::vector<std::uint32_t>{wmWindow}) return std::nullopt;

    for (xcb_atom_t list : {atoms.netClientListStacking, atoms.netClientList}) {
        if (auto value = x.property(x.requestProperty(x.root(), list)); value && value->type == XCB_ATOM_WINDOW) {
            const auto items = value->cardinals();
            return std::vector<xcb_window_t>(items.begin(), items.end());
        }
    }
    return std::vector<xcb_window_t>{};   // a manager that lists nothing manages nothing yet
}

std::optional<std::vector<xcb_window_t>> children(const XConnection& x, xcb_query_tree_cookie_t cookie) {
    auto tree = fetch<xcb_query_tree_reply>(x.raw(), cookie);
    if (!tree) return std::nullopt;
    const xcb_window_t* first = xcb_query_tree_children(tree.get());
    return std::vector<xcb_window_t>(first, first + xcb_query_tree_children_length(tree.get()));
}

// The client windows found in the window tree, bottom to top. Requests for all windows of one
// level go out together, so the walk costs a few round trips however many windows there are.
std::optional<std::vector<xcb_window_t>> treeClients(const XConnection& x) {
    xcb_connection_t* c = x.raw();
    const auto top = children(x, xcb_query_tree(c, x.root()));
    if (!top) return std::nullopt;

    std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
    std::vector<xcb_get_property_cookie_t> stateCookies;
    for (xcb_window_t window : *top) {
        attributeCookies.push_back(xcb_get_window_attributes(c, window));
        stateCookies.push_back(x.requestProperty(window, x.atoms().wmState));
    }
    std::vector<xcb_window_t> client(top->size(), XCB_WINDOW_NONE);
    std::vector<bool> candidate(top->size(), false);
    struct Search {
        std::size_t slot;
        xcb_window_t window;
    };
    std::vector<Search> frontier;
    for (std::size_t i = 0; i < top->size(); ++i) {
        auto attributes = fetch<xcb_get_window_attributes_reply>(c, attributeCookies[i]);
        const bool hasState = x.property(stateCookies[i]).has_value();
        if (!attributes || attributes->override_redirect || attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY) {
            continue;   // gone, or a menu, tooltip or input-only helper
        }
        candidate[i] = true;
        if (hasState) {
            client[i] = (*top)[i];
        } else {
            frontier.push_back({i, (*top)[i]});
        }
    }

    // Below a frame of a reparenting manager, the client is the descendant that carries WM_STATE.
    for (int depth = 0; depth < kClientSearchDepth && !frontier.empty(); ++depth) {
        std::vector<xcb_query_tree_cookie_t> treeCookies;
        for (const Search& search : frontier) treeCookies.push_back(xcb_query_tree(c, search.window));
        std::vector<Search> next;
        std::vector<xcb_get_property_cookie_t> childStates;
        for (std::size_t i = 0; i < frontier.size(); ++i) {
            for (xcb_window_t child : children(x, treeCookies[i]).value_or(std::vector<xcb_window_t>{})) {
                next.push_back({frontier[i].slot, child});
                childStates.push_back(x.requestProperty(child, x.atoms().wmState));
            }
        }
        std::vector<Search> deeper;
        for (std::size_t i = 0; i < next.size(); ++i) {
            const bool hasState = x.property(childStates[i]).has_value();
            if (client[next[i].slot] != XCB_WINDOW_NONE) continue;
            if (hasState) {
                client[next[i].slot] = next[i].window;
            } else {
                deeper.push_back(next[i]);
            }
        }
        std::erase_if(deeper, [&](const Search& search) { return client[search.slot] != XCB_WINDOW_NONE; });
        frontier = std::move(deeper);
    }

    std::vector<xcb_window_t> clients;
    for (std::size_t i = 0; i < top->size(); ++i) {
        if (client[i] != XCB_WINDOW_NONE) {
            clients.push_back(client[i]);
        } else if (candidate[i]) {
            clients.push_back((*top)[i]);   // no manager: the top-level window is the client
        }
    }
    return clients;
}

std::optional<std::string> stringProperty(const std::optional<PropertyValue>& value, const Atoms& atoms) {
    if (!value || value->format != 8) return std::nullopt;
    if (value->type == atoms.utf8String) return validUtf8(value->bytes);
    // COMPOUND_TEXT starts out in Latin-1 too; its escape sequences to other sets are rare in
    // window names and left as they are.
    if (value->type == XCB_ATOM_STRING || value->type == atoms.compoundText) return latin1ToUtf8(value->bytes);
    return std::nullopt;
}

void readWindowClass(const std::optional<PropertyValue>& value, ClientWindow& window) {
    if (!value || value->format != 8 || value->type != XCB_ATOM_STRING) return;
    const std::string& bytes = value->bytes;
    const std::size_t end = bytes.find('\0');
    window.instanceName = latin1ToUtf8(bytes.substr(0, end));
    if (end == std::string::npos) return;
    const std::size_t classEnd = bytes.find('\0', end + 1);
    window.className = latin1ToUtf8(bytes.substr(end + 1, classEnd == std::string::npos ? classEnd : classEnd - end - 1));
}

std::optional<ProcessId> processIdOf(const std::optional<PropertyValue>& value) {
    if (!value || value->type != XCB_ATOM_CARDINAL) return std::nullopt;
    const auto items = value->cardinals();
    if (items.size() != 1 || items.front() == 0 ||
        items.front() > static_cast<std::uint32_t>(std::numeric_limits<ProcessId>::max())) {
        return std::nullopt;
    }
    return static_cast<ProcessId>(items.front());
}

}  // namespace

std::optional<std::string> ClientWindow::ownerName() const {
    if (application) return std::string(application->displayName);
    if (className && !className->empty()) return className;
    if (instanceName && !instanceName->empty()) return instanceName;
    return std::nullopt;
}

std::optional<std::string> processNameFromProc(ProcessId processId) {
    std::ifstream comm("/proc/" + std::to_string(processId) + "/comm");
    std::string name;
    if (!comm || !std::getline(comm, name)) return std::nullopt;
    return name;
}

const KnownApplication* identifyApplication(ApplicationList applications, const std::optional<std::string>& className,
                                            std::optional<ProcessId> processId,
                                            const ProcessNameLookup& processName) {
    if (className) {
        if (const KnownApplication* byClass = applicationForWindowClass(applications, *className)) return byClass;
    }
    if (processId && processName) {
        if (const auto name = processName(*processId)) return applicationForExecutable(applications, *name);
    }
    return nullptr;
}

std::optional<std::string> decodeTitle(const std::optional<PropertyValue>& netWmName,
                                       const std::optional<PropertyValue>& wmName, const Atoms& atoms) {
    if (netWmName && netWmName->type == atoms.utf8String) {
        if (auto title = stringProperty(netWmName, atoms)) return title;
    }
    return stringProperty(wmName, atoms);
}

std::optional<std::vector<ClientWindow>> listClientWindows(const XConnection& x, ApplicationList applications,
                                                           const ProcessNameLookup& processName) {
    if (!x.usable()) return std::nullopt;
    const SigpipeShield shield;
    xcb_connection_t* c = x.raw();
    auto ids = managedClients(x);
    if (!ids) ids = treeClients(x);
    if (!ids || !x.usable()) return std::nullopt;

    struct Requests {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t position;
        xcb_get_property_cookie_t windowClass, netWmName, wmName, pid, state, type;
    };
    const Atoms& atoms = x.atoms();
    std::vector<Requests> requests;
    requests.reserve(ids->size());
    for (xcb_window_t id : *ids) {
        requests.push_back({xcb_get_window_attributes(c, id), xcb_get_geometry(c, id),
                            xcb_translate_coordinates(c, id, x.root(), 0, 0),
                            x.requestProperty(id, XCB_ATOM_WM_CLASS), x.requestProperty(id, atoms.netWmName),
                            x.requestProperty(id, XCB_ATOM_WM_NAME), x.requestProperty(id, atoms.netWmPid),
                            x.requestProperty(id, atoms.wmState), x.requestProperty(id, atoms.netWmWindowType)});
    }

    std::vector<ClientWindow> windows;
    windows.reserve(ids->size());
    for (std::size_t i = 0; i < ids->size(); ++i) {
        const Requests& r = requests[i];
        // Every reply is collected, also for a window that turns out to be gone, so that no
        // answer is left waiting in the connection.
        auto attributes = fetch<xcb_get_window_attributes_reply>(c, r.attributes);
        auto geometry = fetch<xcb_get_geometry_reply>(c, r.geometry);
        auto position = fetch<xcb_translate_coordinates_reply>(c, r.position);
        const auto windowClass = x.property(r.windowClass);
        const auto netWmName = x.property(r.netWmName);
        const auto wmName = x.property(r.wmName);
        const auto pid = x.property(r.pid);
        const auto state = x.property(r.state);
        const auto type = x.property(r.type);
        if (!attributes || !geometry || !position) continue;   // destroyed meanwhile

        ClientWindow window;
        window.id = (*ids)[i];
        window.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        if (state && state->type == atoms.wmState && !state->cardinals().empty()) {
            const std::uint32_t wmState = state->cardinals().front();
            window.managed = wmState == kNormalState || wmState == kIconicState;
        }
        if (type && type->type == XCB_ATOM_ATOM) {
            const auto types = type->cardinals();
            window.desktop = std::find(types.begin(), types.end(), atoms.netWmWindowTypeDesktop) != types.end();
        }
        window.frame = {static_cast<double>(position->dst_x), static_cast<double>(position->dst_y),
                        static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
        window.title = decodeTitle(netWmName, wmName, atoms);
        readWindowClass(windowClass, window);
        window.processId = processIdOf(pid);
        window.application = identifyApplication(applications, window.className, window.processId, processName);
        windows.push_back(std::move(window));
    }
    if (!x.usable()) return std::nullopt;
    std::reverse(windows.begin(), windows.end());   // front first
    return windows;
}

TitleAnswer readWindowTitle(const XConnection& x, xcb_window_t window) {
    if (!x.usable()) return {};
    const SigpipeShield shield;
    xcb_connection_t* c = x.raw();
    const auto attributesCookie = xcb_get_window_attributes(c, window);
    const auto netWmNameCookie = x.requestProperty(window, x.atoms().netWmName);
    const auto wmNameCookie = x.requestProperty(window, XCB_ATOM_WM_NAME);
    const bool exists = fetch<xcb_get_window_attributes_reply>(c, attributesCookie) != nullptr;
    const auto netWmName = x.property(netWmNameCookie);
    const auto wmName = x.property(wmNameCookie);
    if (!exists) return {};
    return {true, decodeTitle(netWmName, wmName, x.atoms())};
}

WindowStatus readWindowStatus(const XConnection& x, xcb_window_t window) {
    if (!x.usable()) return {};
    const SigpipeShield shield;
    xcb_connection_t* c = x.raw();
    const auto attributesCookie = xcb_get_window_attributes(c, window);
    const auto pidCookie = x.requestProperty(window, x.atoms().netWmPid);
    auto attributes = fetch<xcb_get_window_attributes_reply>(c, attributesCookie);
    const auto pid = x.property(pidCookie);
    if (!attributes) return {};
    return {true, attributes->map_state == XCB_MAP_STATE_VIEWABLE, processIdOf(pid)};
}

}  // namespace platform::x11
