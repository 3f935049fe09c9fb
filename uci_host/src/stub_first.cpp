// Temporary bodies so that programs link while the library is being written.
#include "uci.h"

#include <cstdlib>
#include <cstring>

extern "C" {

char const uci_command_char[] = "+-\0@^|~";

static void list_init(uci_list *l) { l->next = l->prev = l; }

uci_context *uci_alloc_context(void)
{
	auto *ctx = static_cast<uci_context *>(calloc(1, sizeof(uci_context)));
	if (!ctx)
		return nullptr;
	list_init(&ctx->root);
	list_init(&ctx->backends);
	list_init(&ctx->delta_path);
	ctx->flags = static_cast<uci_flags>(UCI_FLAG_STRICT | UCI_FLAG_SAVED_DELTA);
	ctx->confdir = strdup(UCI_CONFDIR);
	ctx->savedir = strdup(UCI_SAVEDIR);
	return ctx;
}

void uci_free_context(uci_context *ctx)
{
	if (!ctx)
		return;
	free(ctx->confdir);
	free(ctx->savedir);
	free(ctx);
}

void uci_perror(uci_context *, const char *) {}
void uci_get_errorstr(uci_context *, char **dest, const char *) { if (dest) *dest = nullptr; }
int uci_import(uci_context *, FILE *, const char *, uci_package **, bool) { return UCI_ERR_UNKNOWN; }
int uci_export(uci_context *, FILE *, uci_package *, bool) { return UCI_ERR_UNKNOWN; }
int uci_load(uci_context *, const char *, uci_package **) { return UCI_ERR_NOTFOUND; }
int uci_unload(uci_context *, uci_package *) { return UCI_ERR_INVAL; }
int uci_lookup_ptr(uci_context *, uci_ptr *, char *, bool) { return UCI_ERR_NOTFOUND; }
int uci_add_section(uci_context *, uci_package *, const char *, uci_section **) { return UCI_ERR_UNKNOWN; }
int uci_set(uci_context *, uci_ptr *) { return UCI_ERR_UNKNOWN; }
int uci_add_list(uci_context *, uci_ptr *) { return UCI_ERR_UNKNOWN; }
int uci_del_list(uci_context *, uci_ptr *) { return UCI_ERR_UNKNOWN; }
int uci_reorder_section(uci_context *, uci_section *, int) { return UCI_ERR_UNKNOWN; }
int uci_rename(uci_context *, uci_ptr *) { return UCI_ERR_UNKNOWN; }
int uci_delete(uci_context *, uci_ptr *) { return UCI_ERR_UNKNOWN; }
int uci_save(uci_context *, uci_package *) { return UCI_ERR_UNKNOWN; }
int uci_commit(uci_context *, uci_package **, bool) { return UCI_ERR_UNKNOWN; }
int uci_list_configs(uci_context *, char ***) { return UCI_ERR_UNKNOWN; }
int uci_set_savedir(uci_context *, const char *) { return UCI_OK; }
int uci_set_confdir(uci_context *, const char *) { return UCI_OK; }
int uci_set_conf2dir(uci_context *, const char *) { return UCI_OK; }
int uci_add_delta_path(uci_context *, const char *) { return UCI_OK; }
int uci_revert(uci_context *, uci_ptr *) { return UCI_ERR_UNKNOWN; }
int uci_parse_argument(uci_context *, FILE *, char **, char **) { return UCI_ERR_UNKNOWN; }
int uci_set_backend(uci_context *, const char *) { return UCI_OK; }
bool uci_validate_text(const char *) { return true; }
int uci_parse_ptr(uci_context *, uci_ptr *, char *) { return UCI_ERR_UNKNOWN; }
int uci_lookup_next(uci_context *, uci_element **, uci_list *, const char *) { return UCI_ERR_NOTFOUND; }
void uci_parse_section(uci_section *, const uci_parse_option *, int, uci_option **) {}
uint32_t uci_hash_options(uci_option **, int) { return 0; }

}
