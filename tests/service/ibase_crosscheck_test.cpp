// Our own entry-point types and constants against Firebird's published ibase.h.

// isc_interprete is marked deprecated; its signature is still what we bind.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <ibase.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>

#include "service/ib_services.h"

namespace {

static_assert(std::is_same_v<::ISC_STATUS, ISC_STATUS>);
static_assert(std::is_same_v<::isc_svc_handle, isc_svc_handle>);
static_assert(std::is_same_v<::isc_resv_handle, isc_resv_handle>);
static_assert(std::is_same_v<::ISC_LONG, ISC_LONG>);
static_assert(ISC_STATUS_LENGTH == StatusVectorLength);

// The statement's column blocks are laid out as the library's.
static_assert(sizeof(TSqlVar) == sizeof(XSQLVAR));
static_assert(offsetof(TSqlVar, sqldata) == offsetof(XSQLVAR, sqldata));
static_assert(offsetof(TSqlVar, sqlind) == offsetof(XSQLVAR, sqlind));
static_assert(offsetof(TSqlVar, aliasname) == offsetof(XSQLVAR, aliasname));
static_assert(sizeof(TSqlDa) == sizeof(XSQLDA));
static_assert(offsetof(TSqlDa, sqld) == offsetof(XSQLDA, sqld));
static_assert(offsetof(TSqlDa, sqlvar) == offsetof(XSQLDA, sqlvar));
static_assert(std::is_same_v<::isc_stmt_handle, isc_stmt_handle>);

template <typename A, typename B>
constexpr bool SameSignature = std::is_same_v<std::remove_cv_t<A>, std::remove_cv_t<B>>;

TEST(IbaseCrossCheck, EntryPointSignatures) {
  EXPECT_TRUE((SameSignature<decltype(&::isc_service_attach), Tisc_service_attach>));
  EXPECT_TRUE((SameSignature<decltype(&::isc_service_detach), Tisc_service_detach>));
  EXPECT_TRUE((SameSignature<decltype(&::isc_service_query), Tisc_service_query>));
  EXPECT_TRUE((SameSignature<decltype(&::isc_service_start), Tisc_service_start>));
  EXPECT_TRUE((SameSignature<decltype(&::isc_sqlcode), Tisc_sqlcode>));
  // isc_interprete returns ISC_LONG (32 bits), not ISC_STATUS.
  EXPECT_TRUE((SameSignature<decltype(&::isc_interprete), Tisc_interprete>));
  EXPECT_TRUE((SameSignature<decltype(&::isc_vax_integer), Tisc_vax_integer>));
}

TEST(IbaseCrossCheck, Constants) {
  const std::pair<int, int> pairs[] = {
      {spb::version, isc_spb_version},
      {spb::current_version, isc_spb_current_version},
      {spb::user_name, isc_spb_user_name},
      {spb::sys_user_name, isc_spb_sys_user_name},
      {spb::sys_user_name_enc, isc_spb_sys_user_name_enc},
      {spb::password, isc_spb_password},
      {spb::password_enc, isc_spb_password_enc},
      {spb::command_line, isc_spb_command_line},
      {spb::dbname, isc_spb_dbname},
      {spb::verbose, isc_spb_verbose},
      {spb::options, isc_spb_options},
      {spb::connect_timeout, isc_spb_connect_timeout},
      {spb::dummy_packet_interval, isc_spb_dummy_packet_interval},
      {spb::sql_role_name, isc_spb_sql_role_name},
      {spb::action_svc_backup, isc_action_svc_backup},
      {spb::action_svc_restore, isc_action_svc_restore},
      {spb::action_svc_repair, isc_action_svc_repair},
      {spb::action_svc_properties, isc_action_svc_properties},
      {spb::bkp_file, isc_spb_bkp_file},
      {spb::bkp_factor, isc_spb_bkp_factor},
      {spb::bkp_length, isc_spb_bkp_length},
      {spb::res_buffers, isc_spb_res_buffers},
      {spb::res_page_size, isc_spb_res_page_size},
      {spb::res_length, isc_spb_res_length},
      {spb::info_svc_line, isc_info_svc_line},
      {spb::info_end, isc_info_end},
      {spb::prp_shutdown_db, isc_spb_prp_shutdown_db},
      {spb::prp_deny_new_attachments, isc_spb_prp_deny_new_attachments},
      {spb::prp_deny_new_transactions, isc_spb_prp_deny_new_transactions},
      {spb::prp_db_online, isc_spb_prp_db_online},
  };
  for (const auto& [ours, published] : pairs) EXPECT_EQ(ours, published);

  const std::pair<TBackupOption, int> backup[] = {{TBackupOption::IgnoreChecksums, isc_spb_bkp_ignore_checksums},
                                                  {TBackupOption::IgnoreLimbo, isc_spb_bkp_ignore_limbo},
                                                  {TBackupOption::MetadataOnly, isc_spb_bkp_metadata_only},
                                                  {TBackupOption::NoGarbageCollection, isc_spb_bkp_no_garbage_collect},
                                                  {TBackupOption::OldMetadataDesc, isc_spb_bkp_old_descriptions},
                                                  {TBackupOption::NonTransportable, isc_spb_bkp_non_transportable},
                                                  {TBackupOption::ConvertExtTables, isc_spb_bkp_convert}};
  for (const auto& [o, bit] : backup) EXPECT_EQ(BackupOptionBit(o), static_cast<uint32_t>(bit));

  const std::pair<TRestoreOption, int> restore[] = {{TRestoreOption::DeactivateIndexes, isc_spb_res_deactivate_idx},
                                                    {TRestoreOption::NoShadow, isc_spb_res_no_shadow},
                                                    {TRestoreOption::NoValidityCheck, isc_spb_res_no_validity},
                                                    {TRestoreOption::OneRelationAtATime, isc_spb_res_one_at_a_time},
                                                    {TRestoreOption::Replace, isc_spb_res_replace},
                                                    {TRestoreOption::CreateNewDB, isc_spb_res_create},
                                                    {TRestoreOption::UseAllSpace, isc_spb_res_use_all_space}};
  for (const auto& [o, bit] : restore) EXPECT_EQ(RestoreOptionBit(o), static_cast<uint32_t>(bit));

  const std::pair<TValidateOption, int> validate[] = {
      {TValidateOption::LimboTransactions, isc_spb_rpr_list_limbo_trans},
      {TValidateOption::CheckDB, isc_spb_rpr_check_db},
      {TValidateOption::IgnoreChecksum, isc_spb_rpr_ignore_checksum},
      {TValidateOption::KillShadows, isc_spb_rpr_kill_shadows},
      {TValidateOption::MendDB, isc_spb_rpr_mend_db},
      {TValidateOption::SweepDB, isc_spb_rpr_sweep_db},
      {TValidateOption::ValidateDB, isc_spb_rpr_validate_db},
      {TValidateOption::ValidateFull, isc_spb_rpr_full}};
  for (const auto& [o, bit] : validate) EXPECT_EQ(ValidateOptionBit(o), static_cast<uint32_t>(bit));
}

}  // namespace
