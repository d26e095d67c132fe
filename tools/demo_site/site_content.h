#pragma once

#include <map>
#include <memory>
#include <string>

#include "tools/demo_site/demo_site.h"

// What the demo site serves, shared by the live server and the static export.
namespace pw::demo {

inline constexpr const char* kUtf8Html = "text/html; charset=utf-8";

struct Resource {
    std::string body;
    std::string contentType;
    bool paced = false;  // sent at the lesson rate
    std::string etag;    // a strong validator of the body, sent as ETag
};

struct SiteContent {
    // By request path; a lesson's path is its catalogue path's GBK bytes.
    std::map<std::string, std::shared_ptr<const Resource>> resources;
    std::map<std::string, std::string> redirects;  // path -> where it leads
    std::string thanksPage;                        // the answer to a guestbook post
    std::string notFoundPage;
};

// The site whose update page names addresses on `hostPort` ("host" or "host:port").
SiteContent MakeSiteContent(const DemoSiteOptions& options, const std::string& hostPort);

}  // namespace pw::demo
