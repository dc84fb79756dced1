// SPDX-License-Identifier: MIT
#include "setting.h"
#include "platform.h"

#include <err.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

using std::string_view;

// Settings are echoed in messages: printable ASCII only, so that one
// cannot drive a terminal, and cut short so that the message stays one
// line.
constexpr size_t max_shown = 40;

const char *shown(const char *s, char (&out)[max_shown + 4])
{
	size_t i = 0;
	for (; s[i] != '\0' && i < max_shown; i++) {
		unsigned char c = static_cast<unsigned char>(s[i]);
		out[i] = c >= 0x20 && c < 0x7f ? s[i] : '?';
	}
	memcpy(out + i, s[i] != '\0' ? "..." : "", s[i] != '\0' ? 4 : 1);
	return out;
}

[[noreturn]] void refuse(const char *before, const char *arg, const char *after = "")
{
	char seen[max_shown + 4];
	errx(1, "%s '%s'%s", before, shown(arg, seen), after);
}

[[noreturn]] void invalid(const char *arg)
{
	refuse("invalid salt", arg, "; usage: saltcrypt [salt]");
}

// The alphabet of salts, hashes and encoded parameters, and with it the
// '$' that ends the fields of a setting.
constexpr string_view with_dollar = "$./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr string_view b64(with_dollar.data() + 1, with_dollar.size() - 1);

// How a method's parameters stand between its prefix and its salt, as
// crypt(5) lays them out.
enum class params {
	none,
	field,  // one field ended by '$': yescrypt's encoded parameters, bcrypt's cost
	count,  // "$N$", a decimal iteration count: sha1crypt
	rounds, // an optional "rounds=N$": SHA-crypt
	sun,    // an optional ",rounds=N" before the '$': SunMD5
	glued,  // a fixed number of characters glued to the salt: scrypt, BSDI
};

struct method {
	const char *prefix; // as crypt_gensalt takes it
	const char *name;   // as crypt(5) calls it
	params p;
	size_t glued = 0;
	bool wide = false;  // the salt may hold any byte a setting may, not b64 alone
	bool salted = true;
};

const method methods[] = {
	{"$y$", "yescrypt", params::field},
	{"$gy$", "gost-yescrypt", params::field},
	{"$7$", "scrypt", params::glued, 11},
	{"$2b$", "bcrypt", params::field},
	{"$2y$", "bcrypt, as $2b$", params::field},
	{"$2a$", "bcrypt, as crypt_blowfish 1.0.4 and earlier", params::field},
	{"$2x$", "bcrypt, with crypt_blowfish's 8-bit bug", params::field},
	{"$6$", "sha512crypt", params::rounds, 0, true},
	{"$5$", "sha256crypt", params::rounds, 0, true},
	{"$sha1", "sha1crypt", params::count},
	{"$md5", "SunMD5", params::sun},
	{"$1$", "md5crypt", params::none, 0, true},
	{"$3$", "NT", params::none, 0, false, false},
	{"_", "bsdicrypt, BSDI extended DES", params::glued, 4},
	// Traditional DES and bigcrypt: the salt comes first.
	{"", "descrypt, traditional DES: two salt characters", params::none},
};

// A byte that no setting holds: crypt(5) keeps settings to printable ASCII
// without blanks and without the delimiters of passwd(5) and shadow(5).
bool foreign(char c)
{
	unsigned char u = static_cast<unsigned char>(c);
	return u <= ' ' || u > '~' || string_view(":;*!\\").find(c) != string_view::npos;
}

// How many bytes of s from p on are in set.  string_view's substr and
// compare are not used: they throw, and would bring in libstdc++.
size_t span(string_view s, size_t p, string_view set)
{
	return std::min(s.find_first_not_of(set, p), s.size()) - p;
}

// How a setting is laid out.  m is null when the setting names no method,
// holds a byte outside the method's alphabet, or has malformed
// parameters; salt is null when it ends before its salt.
struct reading {
	const method *m = nullptr;
	bool prefix = false;
	const char *salt = nullptr;
};

reading read(const char *arg)
{
	const string_view s(arg);
	if (s.empty() || std::any_of(s.begin(), s.end(), foreign))
		return {};

	// A method is named by "$id$", or "$id" for SunMD5 and sha1crypt, by
	// "_" for BSDI, and by no prefix at all for traditional DES.
	string_view id(arg, s[0] == '$' ? std::min(s.find_first_of("$,", 1), s.size()) : s[0] == '_' ? 1 : 0);
	reading r;
	for (const method &m : methods) {
		string_view name(m.prefix);
		if (name.size() > 1 && name.back() == '$')
			name.remove_suffix(1);
		if (name == id)
			r.m = &m;
	}
	if (r.m == nullptr)
		return {};
	size_t p = id.size();
	const bool dollar = string_view(r.m->prefix).size() > id.size(); // the '$' that ends "$y$"
	auto ends = [&] { return p == s.size(); };
	auto eat = [&](char c) {
		if (ends() || s[p] != c)
			return false;
		p++;
		return true;
	};
	auto rounds = [&] {
		if (string_view(arg + p).rfind("rounds=", 0) != 0)
			return false;
		p += 7;
		return true;
	};
	// A decimal count without a leading zero, as "rounds=" and sha1crypt take it.
	auto count = [&] {
		size_t n = !ends() && s[p] >= '1' && s[p] <= '9' ? span(s, p, "0123456789") : 0;
		p += n;
		return n > 0;
	};

	if (dollar && !eat('$'))
		return {}; // "$6": a mistyped method
	if (!r.m->salted)
		return r;
	if ((ends() && p > 0) || (!dollar && s[0] == '$' && string_view(arg + p) == "$")) {
		r.prefix = true;
		return r;
	}

	// Parameters.  A field that ends the setting cuts it short (salt
	// null); one not ended by '$' is malformed.
	bool ok = true;
	bool field = true;
	switch (r.m->p) {
	case params::none:
		field = false;
		break;
	case params::field:
		ok = span(s, p, b64) > 0;
		p += span(s, p, b64);
		break;
	case params::count:
		ok = eat('$') && count();
		break;
	case params::rounds:
		field = rounds();
		ok = !field || count();
		break;
	case params::sun:
		ok = !eat(',') || (rounds() && count());
		break;
	case params::glued: {
		size_t n = std::min(span(s, p, b64), r.m->glued);
		p += n;
		if (n < r.m->glued)
			return ends() ? r : reading{};
		field = false;
		break;
	}
	}
	if (!ok)
		return {};
	if (field && ends())
		return r;
	if (field && !eat('$'))
		return {};

	r.salt = arg + p;
	p += r.m->wide ? std::min(s.find('$', p), s.size()) - p : span(s, p, b64);
	// What follows the salt: nothing, or the '$' and hash of a stored
	// hash.  Traditional DES is its salt and hash alone.
	string_view rest(arg + p);
	if (id.empty() ? !rest.empty() : span(rest, 0, with_dollar) != rest.size())
		return {};
	return r;
}

// A salt libcrypt cannot use is refused before the prompt, so nobody
// types a password in vain.  The traditional two-character salt counts as
// a legacy method and stays usable.  arg, quoted in messages, is what the
// user gave for setting.
void check_salt(const char *setting, const char *arg)
{
#if HAVE_CRYPT_CHECKSALT
	switch (crypt_checksalt(setting)) {
	case CRYPT_SALT_OK:
	case CRYPT_SALT_METHOD_LEGACY:
	case CRYPT_SALT_TOO_CHEAP:
		return;
	case CRYPT_SALT_METHOD_DISABLED:
		refuse("hashing method disabled in this libcrypt:", arg);
	default:
		break;
	}
#else
	// Without crypt_checksalt, libcrypt's verdict is the hash of an empty
	// key: one more hash of the chosen method, before the prompt.
	const char *h = crypt("", setting);
	if (h != nullptr && h[0] != '*')
		return;
#endif
	invalid(arg);
}

// Completes arg with a random salt from the operating system: a bare
// prefix takes the method's default cost, a setting whose salt is missing
// (r.salt points at its end) keeps its parameters.
const char *make_salt(const reading &r, const char *arg, char (&setting)[max_setting])
{
#if HAVE_CRYPT_GENSALT_RN
	char made[CRYPT_GENSALT_OUTPUT_SIZE];
	if (crypt_gensalt_rn(r.m->prefix, 0, nullptr, 0, made, sizeof made) == nullptr) {
		char seen[max_shown + 4];
		err(1, "cannot make a salt for '%s'", shown(arg, seen));
	}
	// Another libcrypt may make a setting without a salt for a method.
	if (!has_salt(made))
		refuse("the hashing method of", arg, " takes no salt");

	string_view head(arg, r.prefix ? 0 : static_cast<size_t>(r.salt - arg));
	const char *tail = r.prefix ? made : salt_start(made);
	size_t rest = strlen(tail) + 1;
	if (head.size() + rest > sizeof setting)
		invalid(arg);
	memcpy(setting, head.data(), head.size());
	memcpy(setting + head.size(), tail, rest);
	return setting;
#else
	(void)r;
	(void)setting;
	refuse("this libcrypt cannot make a salt for", arg, "; give one");
#endif
}

} // namespace

size_t list_methods(char *out, size_t size)
{
	size_t n = 0;
	auto add = [&](const char *format, const char *a, const char *b, const char *c) {
		int w = snprintf(out + n, size - n, format, a, b, c);
		n = w < 0 ? n : std::min(size - 1, n + static_cast<size_t>(w));
	};
#if HAVE_CRYPT_GENSALT_RN
	// The library's own default, which a null prefix asks for.
	char made[CRYPT_GENSALT_OUTPUT_SIZE];
	const method *best = crypt_gensalt_rn(nullptr, 0, nullptr, 0, made, sizeof made) != nullptr
				     ? read(made).m
				     : nullptr;
	add("%s%s%s", "Methods that this libcrypt makes a salt for, by the prefix to give:\n", "", "");
	for (const method &m : methods) {
		if (!m.salted || crypt_gensalt_rn(m.prefix, 0, nullptr, 0, made, sizeof made) == nullptr)
			continue;
		add("  %-6s %s%s\n", *m.prefix != '\0' ? m.prefix : "ab", m.name,
		    &m == best ? " (the library's default)" : "");
	}
#else
	add("%s%s%s", "This libcrypt makes no salts: give a complete setting, such as ab or\n",
	    "$6$saltsalt$, as crypt(5) describes them.\n", "");
#endif
	return n;
}

bool is_method_prefix(const char *s)
{
	return read(s).prefix;
}

const char *salt_start(const char *s)
{
	return read(s).salt;
}

bool has_salt(const char *s)
{
	const char *salt = salt_start(s);
	return salt != nullptr && *salt != '\0' && *salt != '$';
}

// The method and the bytes are checked first, then whether the salt is
// there: a message names the first fault.
const char *choose_salt(const char *arg, char (&setting)[max_setting])
{
	const reading r = read(arg);
	const char *use = arg;
	if (r.m == nullptr)
		invalid(arg);
	if (!r.m->salted)
		refuse("the hashing method of", arg, " takes no salt");
	if (r.prefix || (r.salt != nullptr && *r.salt == '\0'))
		use = make_salt(r, arg, setting);
	// An empty salt followed by more ("$6$$", a stored unsalted hash) or
	// parameters cut short would be hashed without a salt.
	else if (r.salt == nullptr || *r.salt == '$')
		refuse("empty salt in", arg);
	check_salt(use, arg);
	return use;
}
