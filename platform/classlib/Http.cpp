#include "classlib/Http.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace {

struct Body {
  String text;
  size_t limit = 0;
  bool tooLong = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  const size_t n = size * count;
  if (body->text.size() + n > body->limit) {
    body->tooLong = true;
    return 0;  // ends the transfer
  }
  body->text.append(data, n);
  return n;
}

void InitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

String StatusLine(long code) {
  switch (code) {
    case 400: return "HTTP/1.1 400 Bad Request";
    case 401: return "HTTP/1.1 401 Unauthorized";
    case 403: return "HTTP/1.1 403 Forbidden";
    case 404: return "HTTP/1.1 404 Not Found";
    case 500: return "HTTP/1.1 500 Internal Server Error";
    case 503: return "HTTP/1.1 503 Service Unavailable";
    default: return "HTTP/1.1 " + std::to_string(code);
  }
}

}  // namespace

THttpClient::THttpClient(TComponent* AOwner) : TComponent(AOwner) {}

String THttpClient::Get(const String& URL) {
  InitOnce();
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) throw EHttpError("Out of memory");
  Body body;
  body.limit = static_cast<size_t>(maxBody_ > 0 ? maxBody_ : 0);
  char error[CURL_ERROR_SIZE] = {};
  curl_slist* headers = nullptr;
  if (!Request.Accept.empty())
    headers = curl_slist_append(headers, ("Accept: " + Request.Accept).c_str());
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> keep(headers, &curl_slist_free_all);

  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, URL.c_str());
  // Plain web pages only: no other protocol, no redirection to one.
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  if (!Request.UserAgent.empty()) curl_easy_setopt(c, CURLOPT_USERAGENT, Request.UserAgent.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(readTimeout_ > 0 ? readTimeout_ : 0));

  const CURLcode rc = curl_easy_perform(c);
  if (body.tooLong)
    throw EHttpError("The answer is longer than %d bytes", static_cast<int>(body.limit));
  if (rc != CURLE_OK) throw EHttpError(*error ? String(error) : String(curl_easy_strerror(rc)));
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status >= 300) {
    EHttpError e(StatusLine(status));
    e.StatusCode = static_cast<Integer>(status);
    throw e;
  }
  return body.text;
}
