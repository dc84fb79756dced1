// SPDX-License-Identifier: MIT
#include "salt_arg.h"
#include "output.h"
#include "platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

#if defined(CRYPT_GENSALT_OUTPUT_SIZE)
static_assert(max_made == CRYPT_GENSALT_OUTPUT_SIZE);
#endif

// Settings are echoed in messages: printable ASCII only, so that one
// cannot drive a terminal, and cut short so that the message stays one
// line.
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

namespace {

using std::string_view;

// The byte at i of s, which holds it.  string_view's own operator[] and
// back() are checked under _GLIBCXX_ASSERTIONS, which distributions build
// with, and would bring in libstdc++ for the check's failure.
char byte_at(string_view s, size_t i)
{
	return s.data()[i];
}

[[noreturn]] void refuse(const char *before, const char *arg, const char *after = "")
{
	char seen[max_shown + 4];
	fail(0, "%s '%s'%s", before, shown(arg, seen), after);
}

// A setting in double quotes loses to the shell each "$y", "$2" or
// "$rounds" it holds: "$y$" arrives as "$", "$2b$12$" as "b2$".  What is
// left holds a '$' but none that a name or digit follows; a setting that
// still has one was quoted, or came from elsewhere.
bool expanded(string_view arg)
{
	constexpr string_view named = "_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
	for (size_t d = arg.find('$'); d != string_view::npos; d = arg.find('$', d + 1))
		if (d + 1 < arg.size() && named.find(byte_at(arg, d + 1)) != string_view::npos)
			return false;
	return arg.find('$') != string_view::npos || arg.empty();
}

[[noreturn]] void invalid(const char *arg)
{
	char seen[max_shown + 4];
	fail(0, "invalid salt '%s'%s; %s", shown(arg, seen),
	     expanded(arg) ? ": quote a setting in single quotes, as in saltcrypt '$y$'" : "", usage);
}

// A password field that shadow(5) reads as locked: "!" before a hash, or
// "*" or "!" alone, as usermod -L and useradd leave them.  A hash check
// wants the hash without its "!".
[[noreturn]] void refuse_locked(const char *arg)
{
	const string_view field(arg);
	const size_t after = std::min(field.find_first_not_of('!'), field.size());
	bool hash = after > 0 && after < field.size() && byte_at(field, after) != '*';
	refuse("invalid salt", arg,
	       hash ? ": a locked password field; the hash follows the '!'"
		    : ": a locked password field, which holds no hash");
}

// The alphabet of salts, hashes and encoded parameters, and with it the
// '$' that ends the fields of a setting.
constexpr string_view with_dollar = "$./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr string_view b64(with_dollar.data() + 1, with_dollar.size() - 1);

// The kind of a method's parameter, as crypt(5) lays it out between the
// method's prefix and its salt.
enum class param {
	none,
	digits, // a decimal number, ended by '$'
	field,  // encoded characters, ended by '$': yescrypt's
	glued,  // a fixed number of characters glued to the salt: scrypt, BSDI
};

// The range of a decimal parameter that this libcrypt takes, as its
// tests find it.
struct range {
	unsigned long long lo = 0;
	unsigned long long hi = 0;
};

// How a salt must be spelt besides its alphabet.
enum class salt_rule {
	b64,     // ./0-9A-Za-z
	wide,    // any byte a setting may hold but '$': SHA-crypt, MD5-crypt
	decoded, // yescrypt's little-endian base 64, which must decode into bytes
};

// A method, as its settings are laid out: its prefix, then its parameter
// (after lead, and left out where optional), then its salt.  A decimal
// parameter is never written with a leading zero unless its width is
// fixed, and so never 0: libcrypt would take sha1crypt's "$sha1$0$" and do
// no iterations at all.
struct method {
	string_view prefix;    // as crypt_gensalt takes it, NUL-terminated
	const char *name;      // as crypt(5) calls it
	const char *note = ""; // more for --help
	bool named = true;     // the name, as the argument, asks for this prefix
	param p = param::none;
	const char *lead = "";  // what the parameter starts with
	bool optional = false;  // the parameter may be left out
	size_t width = 0;       // the parameter's fixed width, or 0 for none
	range r = {};           // a decimal parameter's
	const char *what = "";  // what messages call the parameter
	salt_rule rule = salt_rule::b64;
	size_t min_salt = 0;   // the fewest salt characters libcrypt takes
	size_t max_salt = 0;   // the most it takes, or 0 for no bound of its own
	bool one_hash = false; // at most one '$' field, the hash, follows the salt
	size_t cut = 0;        // the bytes of the password it reads, or 0 for all
	bool salted = true;
	bool (*decode)(string_view glued) = nullptr; // checks encoded parameters
};

// The value of n characters of base 64 from s on, least significant first.
unsigned long long decode64(string_view s, size_t from, size_t n)
{
	unsigned long long v = 0;
	for (size_t i = n; i-- > 0;)
		v = v << 6 | b64.find(byte_at(s, from + i));
	return v;
}

// scrypt's N (as its base-2 logarithm), r and p, as they are glued before
// its salt.  libcrypt's fixed bounds: N of 4 or more, r and p of 1 or
// more, r times p under 2^30.  Beyond those it needs 128 r N bytes, and
// 128 r p more, which must fit in 64 bits; whether it can have them is
// known only when it hashes.
bool scrypt_params(string_view g)
{
	unsigned long long n = b64.find(byte_at(g, 0));
	unsigned long long r = decode64(g, 1, 5);
	unsigned long long p = decode64(g, 6, 5);
	return n >= 2 && r >= 1 && p >= 1 && r * p < (1ull << 30) && n + 7 < 64 && r < (1ull << (64 - 7 - n));
}

constexpr range sha_rounds{1000, 999999999};
constexpr range bcrypt_cost{4, 31};
constexpr const char *rounds = "rounds= value";
constexpr const char *cost = "cost of two digits";

const method methods[] = {
	{.prefix = "$y$", .name = "yescrypt", .p = param::field, .rule = salt_rule::decoded, .max_salt = 86,
	 .one_hash = true},
	{.prefix = "$gy$", .name = "gost-yescrypt", .p = param::field, .rule = salt_rule::decoded, .max_salt = 86,
	 .one_hash = true},
	{.prefix = "$7$", .name = "scrypt", .p = param::glued, .width = 11, .one_hash = true, .decode = scrypt_params},
	{.prefix = "$2b$", .name = "bcrypt", .p = param::digits, .width = 2, .r = bcrypt_cost, .what = cost,
	 .min_salt = 22, .cut = 72},
	{.prefix = "$2y$", .name = "bcrypt", .note = ", as $2b$", .named = false, .p = param::digits, .width = 2,
	 .r = bcrypt_cost, .what = cost, .min_salt = 22, .cut = 72},
	{.prefix = "$2a$", .name = "bcrypt", .note = ", as crypt_blowfish 1.0.4 and earlier", .named = false,
	 .p = param::digits, .width = 2, .r = bcrypt_cost, .what = cost, .min_salt = 22, .cut = 72},
	{.prefix = "$2x$", .name = "bcrypt", .note = ", with crypt_blowfish's 8-bit bug", .named = false,
	 .p = param::digits, .width = 2, .r = bcrypt_cost, .what = cost, .min_salt = 22, .cut = 72},
	{.prefix = "$6$", .name = "sha512crypt", .p = param::digits, .lead = "rounds=", .optional = true,
	 .r = sha_rounds, .what = rounds, .rule = salt_rule::wide},
	{.prefix = "$5$", .name = "sha256crypt", .p = param::digits, .lead = "rounds=", .optional = true,
	 .r = sha_rounds, .what = rounds, .rule = salt_rule::wide},
	// libcrypt hashes a larger sha1crypt count than crypt(5)'s without a
	// word, for ever: it cannot read it as written.
	{.prefix = "$sha1", .name = "sha1crypt", .p = param::digits, .lead = "$", .r = {1, 4294967295}, .what = "count"},
	{.prefix = "$md5", .name = "SunMD5", .p = param::digits, .lead = ",rounds=", .optional = true,
	 .r = {1, 4294967295}, .what = rounds},
	{.prefix = "$1$", .name = "md5crypt", .rule = salt_rule::wide},
	{.prefix = "$3$", .name = "NT", .named = false, .salted = false},
	{.prefix = "_", .name = "bsdicrypt", .note = ", BSDI extended DES", .p = param::glued, .width = 4,
	 .min_salt = 4},
	// Traditional DES and bigcrypt: the salt comes first.  Traditional
	// DES reads 8 bytes; a setting longer than its 13 characters is
	// bigcrypt's, which reads 128 (bytes_used).
	{.prefix = "", .name = "descrypt", .note = ", traditional DES: two salt characters", .cut = 8},
};

// Names that people give for a method, and the name it goes by.
struct alias {
	const char *given;
	const char *method;
};
constexpr alias aliases[] = {
	{.given = "sha512", .method = "sha512crypt"}, {.given = "sha-512", .method = "sha512crypt"},
	{.given = "sha256", .method = "sha256crypt"}, {.given = "sha-256", .method = "sha256crypt"},
	{.given = "md5", .method = "md5crypt"},       {.given = "des", .method = "descrypt"},
	{.given = "blowfish", .method = "bcrypt"},
};

// Where bigcrypt's settings begin, and how much it reads.
constexpr size_t des_hash = 13;
constexpr size_t bigcrypt_cut = 128;

// Whether s is word, in either case of its letters.
bool same_word(string_view s, string_view word)
{
	auto low = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
	return s.size() == word.size() &&
	       std::equal(s.begin(), s.end(), word.begin(), [&](char a, char b) { return low(a) == low(b); });
}

// The method that s names as crypt(5) and --help name it.
const method *by_name(string_view s)
{
	for (const method &m : methods)
		if (m.named && same_word(s, m.name))
			return &m;
	return nullptr;
}

// The method that people most likely mean by s, or null.
const method *alias_of(string_view s)
{
	for (const alias &a : aliases)
		if (same_word(s, a.given))
			return by_name(a.method);
	return nullptr;
}

// libcrypt reads any traditional setting shorter than a whole hash as
// its first two characters, so "sha512" or "bcrypt" would make a DES hash
// with the salt "sh" or "bc".  Such a word is refused, with the method it
// most likely meant.
[[noreturn]] void refuse_word(const char *arg)
{
	char why[160] = "; saltcrypt --help lists the methods by name and prefix";
	if (const method *m = alias_of(arg))
		(void)snprintf(why, sizeof why, "; for %s, give %s%s%s%s", m->name, m->name,
			       !m->prefix.empty() ? " or '" : "", m->prefix.data(), !m->prefix.empty() ? "'" : "");
	char seen[max_shown + 4];
	fail(0, "invalid salt '%s': a traditional salt is two characters%s", shown(arg, seen), why);
}

// A byte that no setting holds: crypt(5) keeps settings to printable ASCII
// without blanks and without the delimiters of passwd(5) and shadow(5).
bool foreign(char c)
{
	unsigned char u = static_cast<unsigned char>(c);
	return u <= ' ' || u > '~' || c == ':' || c == ';' || c == '*' || c == '!' || c == '\\';
}

// How many bytes of s from p on are in set.  string_view's substr and
// compare are not used: they throw, and would bring in libstdc++.
size_t span(string_view s, size_t p, string_view set)
{
	return std::min(s.find_first_not_of(set, p), s.size()) - p;
}

// The value of the decimal digits of d, or ULLONG_MAX when it does not fit.
unsigned long long decimal(string_view d)
{
	unsigned long long v = 0;
	for (char c : d) {
		auto digit = static_cast<unsigned long long>(c - '0');
		if (v > (ULLONG_MAX - digit) / 10)
			return ULLONG_MAX;
		v = v * 10 + digit;
	}
	return v;
}

bool in_range(string_view d, const range &r)
{
	unsigned long long v = decimal(d);
	return v >= r.lo && v <= r.hi;
}

// Whether a yescrypt salt decodes into whole bytes: its characters carry
// 6 bits each, least significant first, and the bits past the last whole
// byte must be zero.  A lone character past groups of four holds none.
bool decodes(string_view salt)
{
	size_t tail = salt.size() % 4;
	if (tail == 0)
		return true;
	size_t last = b64.find(byte_at(salt, salt.size() - 1));
	return tail != 1 && last < (tail == 2 ? 4u : 16u);
}

// What is wrong with a setting, beyond what a message for the whole of
// it says.
enum class fault { none, param, salt };

// How a setting is laid out.  m is null when the setting names no method,
// holds a byte outside the method's alphabet, or has malformed
// parameters; salt is null when it ends before its salt.  A fault names
// the part that libcrypt would refuse.
struct reading {
	const method *m = nullptr;
	bool prefix = false;
	const char *salt = nullptr;
	fault bad = fault::none;
};

// The method that setting s names: by "$id$", or "$id" for SunMD5 and
// sha1crypt, by "_" for BSDI, and by no prefix at all for traditional DES.
// Null for none; id is what names it.
const method *named(string_view s, string_view &id)
{
	id = string_view(s.data(), byte_at(s, 0) == '$' ? std::min(s.find_first_of("$,", 1), s.size()) : byte_at(s, 0) == '_' ? 1 : 0);
	for (const method &m : methods) {
		size_t n = m.prefix.size();
		if (string_view(m.prefix.data(), n > 1 && byte_at(m.prefix, n - 1) == '$' ? n - 1 : n) == id)
			return &m;
	}
	return nullptr;
}

// How reading a parameter ended: past it and its '$', malformed (empty,
// a leading zero where the width is not fixed, not ended by '$'), or at
// the end of the setting, which cuts it short.
enum class step { on, malformed, cut };

// Reads m's parameter of s from p on, and marks r where libcrypt would
// refuse its value.
step read_param(const method &m, string_view s, size_t &p, reading &r)
{
	auto at = [&](string_view t) { return string_view(s.data() + p, std::min(t.size(), s.size() - p)) == t; };
	if (!at(m.lead))
		return step::malformed;
	p += strlen(m.lead);
	size_t n = span(s, p, m.p == param::digits ? "0123456789" : b64);
	n = m.p == param::glued ? std::min(n, m.width) : n;
	string_view v(s.data() + p, n);
	p += n;
	if (m.p == param::glued && n < m.width)
		return p == s.size() ? step::cut : step::malformed;
	if (n == 0 || (m.p == param::digits && m.width == 0 && byte_at(v, 0) == '0'))
		return step::malformed;
	bool in = m.p == param::digits ? (m.width == 0 || n == m.width) && in_range(v, m.r)
				       : m.decode == nullptr || m.decode(v);
	r.bad = in ? fault::none : fault::param;
	if (m.p == param::glued)
		return step::on;
	if (p == s.size())
		return step::cut;
	return at("$") && ++p > 0 ? step::on : step::malformed;
}

reading read(const char *arg)
{
	const string_view s(arg);
	string_view id;
	const method *m = s.empty() || std::any_of(s.begin(), s.end(), foreign) ? nullptr : named(s, id);
	if (m == nullptr)
		return {};
	reading r{m};
	size_t p = id.size();
	const bool dollar = m->prefix.size() > id.size(); // the '$' that ends "$y$"
	if (dollar && s.size() > p && byte_at(s, p) == '$')
		p++;
	else if (dollar)
		return {}; // "$6": a mistyped method
	if (!m->salted)
		return r;
	if ((p == s.size() && p > 0) || (!dollar && byte_at(s, 0) == '$' && string_view(arg + p) == "$")) {
		r.prefix = true;
		return r;
	}
	// A parameter that can be left out is there where its lead is.  SunMD5
	// without one has its '$' all the same.
	bool given = m->p != param::none && (!m->optional || string_view(arg + p).rfind(m->lead, 0) == 0);
	step st = step::on;
	if (given)
		st = read_param(*m, s, p, r);
	else if (!dollar && m->p != param::none)
		st = byte_at(s, p++) == '$' ? step::on : step::malformed;
	if (st != step::on)
		return st == step::cut ? r : reading{};

	r.salt = arg + p;
	size_t n = m->rule == salt_rule::wide ? std::min(s.find('$', p), s.size()) - p : span(s, p, b64);
	if (r.bad == fault::none && n > 0 &&
	    (n < m->min_salt || (m->max_salt > 0 && n > m->max_salt) ||
	     (m->rule == salt_rule::decoded && !decodes(string_view(arg + p, n)))))
		r.bad = fault::salt;
	// What follows the salt: nothing, or the '$' and hash of a stored
	// hash.  Traditional DES is its salt and hash alone, and the yescrypt
	// family's hashes are a single field.
	string_view rest(arg + p + n);
	bool more = m->one_hash ? !rest.empty() && (byte_at(rest, 0) != '$' || span(rest, 1, b64) != rest.size() - 1)
				: span(rest, 0, with_dollar) != rest.size();
	return (id.empty() ? !rest.empty() : more) ? reading{} : r;
}

// A setting longer than any that crypt_gensalt makes may give a hash too
// long for libcrypt to take back as a setting (scrypt's salts run to
// hundreds of characters): such a hash could never be verified.  Only
// for those, the hash of an empty key must hash to itself; it holds no
// secret.
bool verifies(const char *setting)
{
	if (strlen(setting) < max_made)
		return true;
	char h[max_hash];
	const char *made = crypt("", setting);
	if (made == nullptr || made[0] == '*' || strlen(made) >= sizeof h)
		return false;
	memcpy(h, made, strlen(made) + 1);
	const char *again = crypt("", h);
	return again != nullptr && string_view(again) == string_view(h);
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
		break;
	case CRYPT_SALT_METHOD_DISABLED:
		refuse("hashing method disabled in this libcrypt:", arg);
	default:
		invalid(arg);
	}
#else
	// Without crypt_checksalt, libcrypt's verdict is the hash of an empty
	// key: one more hash of the chosen method, before the prompt.  A long
	// setting gets it below.
	const char *h = strlen(setting) < max_made ? crypt("", setting) : "";
	if (h == nullptr || h[0] == '*')
		invalid(arg);
#endif
	if (!verifies(setting))
		refuse("invalid salt", arg, ": libcrypt could not verify a hash made with it");
}

// Names the part of arg that libcrypt would refuse, and its bounds.
[[noreturn]] void refuse_fault(const reading &r, const char *arg)
{
	const method &m = *r.m;
	const char *name = m.name;
	char why[160];
	if (r.bad == fault::salt && m.rule == salt_rule::decoded)
		(void)snprintf(why, sizeof why, ": %s takes a salt of at most %zu characters that decodes into whole bytes",
			       name, m.max_salt);
	else if (r.bad == fault::salt)
		(void)snprintf(why, sizeof why, ": %s takes a salt of at least %zu characters", name, m.min_salt);
	else if (m.decode != nullptr)
		(void)snprintf(why, sizeof why, ": %s cannot take the parameters '%.*s'", name,
			       static_cast<int>(m.width), r.salt - m.width);
	else
		(void)snprintf(why, sizeof why, ": %s takes a %s from %0*llu to %llu", name, m.what,
			       static_cast<int>(m.width), m.r.lo, m.r.hi);
	refuse("invalid salt", arg, why);
}

// Completes arg with a random salt from the operating system: a bare
// prefix takes the method's default cost, a setting whose salt is missing
// (r.salt points at its end) keeps its parameters.
const char *make_salt(const reading &r, const char *arg, char (&setting)[max_setting])
{
#if HAVE_CRYPT_GENSALT_RN
	char made[CRYPT_GENSALT_OUTPUT_SIZE];
	if (crypt_gensalt_rn(r.m->prefix.data(), 0, nullptr, 0, made, sizeof made) == nullptr) {
		char seen[max_shown + 4];
		fail(errno, "cannot make a salt for '%s'", shown(arg, seen));
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
	auto add = [&](const char *format, const char *a, const char *b, const char *c, const char *d = "") {
		int w = snprintf(out + n, size - n, format, a, b, c, d);
		n = w < 0 ? n : std::min(size - 1, n + static_cast<size_t>(w));
	};
#if HAVE_CRYPT_GENSALT_RN
	// The library's own default, which a null prefix asks for.
	char made[CRYPT_GENSALT_OUTPUT_SIZE];
	const method *best = crypt_gensalt_rn(nullptr, 0, nullptr, 0, made, sizeof made) != nullptr
				     ? read(made).m
				     : nullptr;
	add("%s%s%s", "Methods that this libcrypt makes a salt for, by the prefix or the name to give:\n", "", "");
	for (const method &m : methods) {
		if (!m.salted || crypt_gensalt_rn(m.prefix.data(), 0, nullptr, 0, made, sizeof made) == nullptr)
			continue;
		add("  %-6s %s%s%s\n", !m.prefix.empty() ? m.prefix.data() : "ab", m.name, m.note,
		    &m == best ? " (this libcrypt's preferred method)" : "");
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
	const reading r = read(s);
	return r.bad == fault::none ? r.salt : nullptr;
}

size_t bytes_used(const char *setting)
{
	const method *m = read(setting).m;
	if (m == nullptr)
		return 0;
	return m->prefix.empty() && strlen(setting) > des_hash ? bigcrypt_cut : m->cut;
}

bool method_limits(const char *prefix, limits &out)
{
	for (const method &m : methods)
		if (m.prefix == prefix) {
			out = {m.r.lo, m.r.hi, static_cast<unsigned>(m.p == param::digits ? m.width : 0), m.min_salt};
			return true;
		}
	return false;
}

bool has_salt(const char *s)
{
	const char *salt = salt_start(s);
	return salt != nullptr && *salt != '\0' && *salt != '$';
}

// The method and the bytes are checked first, then whether the salt is
// there: a message names the first fault.
const char *complete_salt(const char *arg, char (&setting)[max_setting])
{
	if (const method *m = by_name(arg))
		return make_salt({.m = m, .prefix = true}, arg, setting);
	const reading r = read(arg);
	const size_t n = strlen(arg);
	const bool des = r.m != nullptr && r.m->prefix.empty();
	if (*arg == '!' || *arg == '*')
		refuse_locked(arg);
	if ((des && n > 2 && n < des_hash) || alias_of(arg) != nullptr)
		refuse_word(arg);
	if (r.m == nullptr)
		invalid(arg);
	if (!r.m->salted)
		refuse("the hashing method of", arg, " takes no salt");
	if (r.bad != fault::none)
		refuse_fault(r, arg);
	if (r.prefix || (r.salt != nullptr && *r.salt == '\0'))
		return make_salt(r, arg, setting);
	// An empty salt followed by more ("$6$$", a stored unsalted hash) or
	// parameters cut short would be hashed without a salt.
	if (r.salt == nullptr || *r.salt == '$')
		refuse("empty salt in", arg);
	return arg;
}

const char *choose_salt(const char *arg, char (&setting)[max_setting])
{
	const char *use = complete_salt(arg, setting);
	check_salt(use, arg);
	return use;
}
