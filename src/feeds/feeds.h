// Feeds: feed text cleanup and dates, the RSS reader, the hardened HTTPS fetch, the story merge and
// the refresh cycle with its worker thread.
#pragma once

#include "locale/locale.h"
#include "model/model.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Feed text cleanup and dates (any thread)

std::wstring cleanFeedText(std::wstring_view text);
std::int64_t parseFeedDate(std::wstring_view text);  // Unix seconds, 0 when unknown

// ---------------------------------------------------------------------------------------------
// RSS reader (feed worker; COM must be initialised on the calling thread)

inline constexpr std::size_t FEED_BODY_LIMIT = 4u * 1024u * 1024u;  // bytes; exactly 4 MiB is read
inline constexpr std::size_t FEED_STORY_LIMIT = 80;
inline constexpr std::size_t FEED_TITLE_UNITS = 240;
inline constexpr std::size_t FEED_BODY_UNITS = 5000;

std::vector<Story> readRssFeed(std::string_view body, std::string_view sourceLabel);

// ---------------------------------------------------------------------------------------------
// HTTPS fetch (feed worker)

inline constexpr wchar_t FEED_USER_AGENT[] = L"Kestrune/1.0 (science story reader)";

struct FetchOptions {
    std::uint16_t port = 443;
    std::uint64_t bodyDeadlineMs = 45000;
};

// One hardened GET: the program always uses port 443 and the 45-second body deadline; tests use a
// local server through fetchFeedWith.
std::string fetchFeed(std::wstring_view host, std::wstring_view path);
std::string fetchFeedWith(std::wstring_view host, std::wstring_view path, const FetchOptions& options);

// ---------------------------------------------------------------------------------------------
// Story merge (window thread)

inline constexpr std::size_t MERGE_STORY_LIMIT = 500;

bool isDisposableStory(const Story& story);
// Adds new stories, refreshes unkept ones, evicts disposable ones from 500 on, then sorts.
std::int32_t mergeFetchedStories(std::vector<Story>& stories, const std::vector<Story>& fetched);

// ---------------------------------------------------------------------------------------------
// Refresh cycle
