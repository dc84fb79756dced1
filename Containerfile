# SPDX-License-Identifier: MIT
# saltcrypt as a container image: the command, linked statically, and its
# licence, and nothing else.
#   podman build -t saltcrypt .
#   printf '%s\n' "$PW" | podman run --rm -i saltcrypt -q '$y$'
FROM debian:bookworm-slim AS build
RUN apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
	g++ cmake make libcrypt-dev
COPY CMakeLists.txt NEWS LICENSE /src/
COPY cmake /src/cmake
COPY saltcrypt /src/saltcrypt
RUN cmake -S /src -B /build -DSALTCRYPT_STATIC=ON -DBUILD_TESTING=OFF && cmake --build /build -j2 && \
	strip /build/saltcrypt/saltcrypt

FROM scratch
COPY --from=build /build/saltcrypt/saltcrypt /saltcrypt
COPY LICENSE /LICENSE
USER 65534
ENTRYPOINT ["/saltcrypt"]
