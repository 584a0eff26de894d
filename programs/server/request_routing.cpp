#include "programs/server/request_routing.h"

namespace {

ResolvedRequest Status(int status) {
    ResolvedRequest r;
    r.status = status;
    return r;
}

ResolvedRequest Resolved(Serve serve, const FeedConfig* feed, const StreamConfig* stream) {
    ResolvedRequest r;
    r.serve = serve;
    r.feed = feed;
    r.stream = stream;
    return r;
}

const StreamConfig* StreamOfFeed(const ServerConfig& config, const std::string& feed) {
    for (const StreamConfig& s : config.streams)
        if (s.feed == feed) return &s;
    return nullptr;
}

// A stream as configured, and every stream also as MJPEG and as its latest picture.
const StreamConfig* FindStreamAs(const ServerConfig& config, const std::string& name, Serve& as) {
    as = Serve::Swf;
    if (const StreamConfig* stream = config.FindStream(name)) return stream;
    for (const StreamConfig& s : config.streams) {
        if (name == MjpegName(s)) {
            as = Serve::Mjpeg;
            return &s;
        }
        if (name == SnapshotName(s)) {
            as = Serve::Snapshot;
            return &s;
        }
    }
    return nullptr;
}

}  // namespace

ResolvedRequest ResolveRequest(const ServerConfig& config, const std::string& method, const std::string& path,
                               Ipv4 peer) {
    bool get = method == "GET" || method == "HEAD";
    if (path == "/" || path == "/index.html") return get ? Resolved(Serve::ViewerPage, nullptr, nullptr) : Status(405);

    std::string name = path.substr(1);
    if (const FeedConfig* feed = config.FindFeed(name)) {
        // Addresses the feed does not admit are told it does not exist.
        if (!AclAllows(feed->acl, peer)) return Status(404);
        if (get) return Resolved(Serve::FeedParameters, feed, StreamOfFeed(config, name));
        if (method != "POST") return Status(405);
        return Resolved(Serve::FeedIntake, feed, nullptr);
    }
    Serve as;
    const StreamConfig* stream = FindStreamAs(config, name, as);
    if (!stream || !AclAllows(stream->acl, peer)) return Status(404);
    if (!get) return Status(405);
    return Resolved(as, config.FindFeed(stream->feed), stream);
}
