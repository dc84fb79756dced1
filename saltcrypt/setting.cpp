// SPDX-License-Identifier: MIT
#include "setting.h"
#include "platform.h"

#include <err.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

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

// Methods whose parameters stand between "$id$" and the salt, as crypt(5)
// lays them out: whole fields ended by '$', an optional "rounds=N$" field,
// or a fixed number of characters glued to the salt.
struct layout {
	std::string_view id;
	int fields;
	bool rounds;
	size_t glued;
};

constexpr layout layouts[] = {
	{"y", 1, false, 0},    {"gy", 1, false, 0}, {"2a", 1, false, 0},
	{"2b", 1, false, 0},   {"2x", 1, false, 0}, {"2y", 1, false, 0},
	{"sha1", 1, false, 0}, {"5", 0, true, 0},   {"6", 0, true, 0},
	{"7", 0, false, 11},
};

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
	refuse("invalid salt", arg, "; usage: saltcrypt [salt]");
}

// Completes arg with a random salt from the operating system: a bare
// prefix takes the method's default cost, a setting whose salt is empty
// (salt points at its end) keeps its parameters.
const char *make_salt(const char *arg, const char *salt, char (&setting)[max_setting])
{
#if HAVE_CRYPT_GENSALT_RN
	char made[CRYPT_GENSALT_OUTPUT_SIZE];
	if (crypt_gensalt_rn(arg, 0, nullptr, 0, made, sizeof made) == nullptr) {
		char seen[max_shown + 4];
		err(1, "cannot make a salt for '%s'", shown(arg, seen));
	}
	const char *fresh = salt_start(made);
	if (fresh == nullptr || *fresh == '\0' || *fresh == '$')
		refuse("the hashing method of", arg, " takes no salt");

	std::string_view head = is_method_prefix(arg) ? std::string_view(made, fresh - made)
						      : std::string_view(arg, salt - arg);
	size_t tail = strlen(fresh) + 1;
	if (head.size() + tail > sizeof setting)
		refuse("invalid salt", arg, ": too long");
	memcpy(setting, head.data(), head.size());
	memcpy(setting + head.size(), fresh, tail);
	return setting;
#else
	(void)salt;
	(void)setting;
	refuse("this libcrypt cannot make a salt for", arg, "; give one");
#endif
}

} // namespace

bool is_method_prefix(const char *s)
{
	std::string_view v(s);
	size_t end = std::min(v.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz", 1), v.size());
	std::string_view tail(s + end);
	return v == "_" || (s[0] == '$' && end > 1 && (tail.empty() || tail == "$"));
}

const char *salt_start(const char *s)
{
	std::string_view v(s);
	if (s[0] == '_') // BSDI: four characters of count, then the salt
		return v.size() >= 5 ? s + 5 : nullptr;
	if (s[0] != '$') // traditional DES: the salt comes first
		return s;

	size_t p = v.find('$', 1);
	if (p == std::string_view::npos)
		return nullptr;
	// SunMD5 keeps its ",rounds=N" inside the id field.
	std::string_view id(s + 1, std::min(p, v.find(',')) - 1);
	layout l{id, 0, false, 0};
	for (const layout &known : layouts)
		if (known.id == id)
			l = known;
	p++;
	int fields = l.fields + (l.rounds && std::string_view(s + p).find("rounds=") == 0 ? 1 : 0);
	for (; fields > 0; fields--) {
		p = v.find('$', p);
		if (p == std::string_view::npos)
			return nullptr;
		p++;
	}
	return v.size() - p >= l.glued ? s + p + l.glued : nullptr;
}

const char *choose_salt(const char *arg, char (&setting)[max_setting])
{
	const char *salt = salt_start(arg);
	const char *use = arg;
	// The traditional salt is the setting's first two characters: never
	// missing, only invalid when short.
	if (is_method_prefix(arg) || (salt != nullptr && salt != arg && *salt == '\0'))
		use = make_salt(arg, salt, setting);
	// An empty salt followed by more ("$6$$", a stored unsalted hash) or
	// parameters cut short would be hashed without a salt.
	else if (salt == nullptr || *salt == '$')
		refuse("empty salt in", arg);
	check_salt(use, arg);
	return use;
}
