// A web client for single requests: one GET, answered with the body as text. The request
// runs on the calling thread and returns when the answer, an error or the time-out comes.
#pragma once

#include "classlib/Classes.h"
#include "classlib/SysUtils.h"

// A request that did not bring a body: the server could not be reached, the connection
// broke or timed out, or the server answered with an error status. The message says which
// ("HTTP/1.1 404 Not Found", "Could not connect to server", ...).
class EHttpError : public Exception {
 public:
  using Exception::Exception;
  // The server's status when it answered, 0 when it did not.
  Integer StatusCode = 0;
};

class THttpClient : public TComponent {
 public:
  explicit THttpClient(TComponent* AOwner);

  // Request headers.
  struct TRequest {
    String Accept = "text/html, */*";
    String UserAgent;
  } Request;

  // Milliseconds the whole request may take, connection included; 0 waits without limit.
  Integer ReadTimeout() const { return readTimeout_; }
  void SetReadTimeout(Integer v) { readTimeout_ = v; }
  // The largest body taken; a longer answer fails rather than filling memory.
  Integer MaxBodyBytes() const { return maxBody_; }
  void SetMaxBodyBytes(Integer v) { maxBody_ = v; }

  // GET of an http:// URL; answers the body, its bytes as they came. Raises EHttpError.
  String Get(const String& URL);

 private:
  Integer readTimeout_ = 10000;
  Integer maxBody_ = 1 << 20;
};
